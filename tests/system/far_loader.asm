; Test master boot record: loads sector 0 of drive 0x81 to 0x7C00 and enters
; it as 07C0:0000 instead of 0000:7C00, for programs that must not depend on
; how the BIOS formed that address. Halts with "LOADER FAILED" if the read
; fails.

bits 16
org 0x0500

%include "common.inc"

start:
        zero_segments
        relocate 0x0500, moved

moved:
        mov ax, 0x0201
        mov bx, 0x7C00
        mov cx, 0x0001
        mov dx, 0x0081
        int 0x13
        jc failed
        mov dl, 0x81
        jmp 0x07C0:0x0000

failed:
        mov si, text_failed
.next:
        lodsb
        test al, al
        jz .halt
        mov ah, 0x0E
        mov bx, 7
        int 0x10
        jmp .next
.halt:
        cli
        hlt
        jmp .halt

text_failed: db "LOADER FAILED", 13, 10, 0

        times 440 - ($ - $$) db 0
