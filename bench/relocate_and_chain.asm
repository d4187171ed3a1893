; Bench self-test program, sector 0: moves itself to 0000:0600 (so that the
; code hook sees a REP MOVSW), greets, echoes two keys, then loads sector 1
; over 0000:7C00 by CHS and jumps there, the way a boot manager chain-loads.
        bits 16
        org 0x0600

start:
        xor ax, ax
        mov ds, ax
        mov es, ax
        mov ss, ax
        mov sp, 0x7C00
        cld
        mov si, 0x7C00
        mov di, 0x0600
        mov cx, 256
        rep movsw
        jmp 0:relocated

relocated:
        mov si, greeting
        call print
        mov cx, 2
.echo:  xor ah, ah              ; wait for a key
        int 0x16
        mov ah, 0x0E            ; echo its character code
        mov bx, 7
        int 0x10
        loop .echo

        mov ax, 0x0201          ; read 1 sector: cylinder 0, head 0, sector 2
        mov cx, 0x0002
        mov dx, 0x0080
        mov bx, 0x7C00
        int 0x13
        jc .failed
        jmp 0:0x7C00
.failed:
        mov si, failure
        call print
        hlt

; IN: SI = 0-terminated text. OUT: SI past the 0. CLOBBERS: AX, BX.
print:
        lodsb
        test al, al
        jz .done
        mov ah, 0x0E
        mov bx, 7
        int 0x10
        jmp print
.done:  ret

greeting: db "Hi", 13, 10, 0
failure:  db "read failed", 0

        times 510 - ($ - $$) db 0
        dw 0xAA55
