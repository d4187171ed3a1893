; Test master boot record: tells what the BIOS makes of every hard disk.
;
; For each drive from 0x80 on (as many as INT 13h AH=08h counts) it prints
;     VBDRIVE dl=DD cx=CCCC dx=HHHH sig=SSSSSSSS
; with the geometry registers of INT 13h AH=08h (CX: sector count and maximum
; cylinder, DH: maximum head) and the disk signature (bytes 440..443 of sector
; 0, read with INT 13h AH=02h at cylinder 0, head 0, sector 1), so that a test
; can tell which image the BIOS gave which number and what geometry it uses.
; "cx=????" or "sig=????????" when a call fails. Ends with
;     VBDRIVES n=NN
; and halts. 440 bytes: the disk's own signature and table stay in place.

bits 16
org 0x0600

%include "common.inc"

start:
        zero_segments
        relocate 0x0600, moved

moved:
        mov ah, 0x08
        mov dl, 0x80
        xor di, di
        int 0x13
        jc .counted
        mov [count], dl
.counted:
        mov byte [drive], 0x80

.next:
        mov al, [count]
        add al, 0x80
        cmp [drive], al
        jae .end

        mov si, text_head
        call print
        mov al, [drive]
        call hex_byte
        mov si, text_cx
        call print
        mov ah, 0x08
        mov dl, [drive]
        xor di, di
        int 0x13
        jc .no_geometry
        push dx
        mov al, ch
        mov ah, cl
        call hex_word
        mov si, text_dx
        call print
        pop ax
        xchg al, ah
        call hex_word
        jmp .signature
.no_geometry:
        mov si, text_unknown
        call print
        mov si, text_dx
        call print
        mov si, text_unknown
        call print

.signature:
        mov si, text_sig
        call print
        mov ax, 0x0201
        mov bx, 0x8000
        mov cx, 0x0001
        mov dh, 0
        mov dl, [drive]
        int 0x13
        jc .no_signature
        mov al, [0x8000 + 443]
        mov ah, [0x8000 + 442]
        call hex_word
        mov al, [0x8000 + 441]
        mov ah, [0x8000 + 440]
        call hex_word
        jmp .line_done
.no_signature:
        mov si, text_unknown
        call print
        call print_again
.line_done:
        mov si, text_end
        call print
        inc byte [drive]
        jmp .next

.end:
        mov si, text_count
        call print
        mov al, [count]
        call hex_byte
        mov si, text_end
        call print
.halt:
        cli
        hlt
        jmp .halt

; Prints "????" once more (the second half of an unknown signature).
print_again:
        mov si, text_unknown
        jmp print
; Prints AL, then AH, as two hexadecimal digits each.
hex_word:
        push ax
        call hex_byte
        pop ax
        mov al, ah
        jmp hex_byte

        print_routines

text_head:    db "VBDRIVE dl=", 0
text_cx:      db " cx=", 0
text_dx:      db " dx=", 0
text_sig:     db " sig=", 0
text_unknown: db "????", 0
text_count:   db "VBDRIVES n=", 0
text_end:     db 13, 10, 0

count:        db 0
drive:        db 0

        times 440 - ($ - $$) db 0
