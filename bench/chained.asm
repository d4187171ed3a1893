; Bench self-test program, sector 1: loaded over 0000:7C00 by
; relocate_and_chain; shows that the new bytes run, not the old ones.
        bits 16
        org 0x7C00

        mov ax, 0x0E21          ; "!"
        mov bx, 7
        int 0x10
        hlt

        times 512 - ($ - $$) db 0
