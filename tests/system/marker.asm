; Test boot sector: tells on screen exactly what was started, then halts.
;
; It prints one line
;     VBMARK <label> disk=D part=P dl=DD si=SSSS type=TT
; where label, D and P are patched in by the test that writes the sector
; (bytes 428..437, below the disk signature, so that the sector also works as
; a master boot record), DL and SI are the registers it was entered with, and
; TT is the type ID that slot P of drive 0x80+D's partition table holds right now
; (read at run time, so it shows what the boot manager left there; "??" when
; the read fails).
;
; Bytes 3..89 are left free so that the sector can take a FAT boot sector's
; parameter block: a test that puts it into a FAT file system copies only
; bytes 0..2 and 90..511 over the file system's own boot sector.

bits 16
org 0x7C00

%include "common.inc"

start:
        jmp short code
        nop
        times 0x5A - ($ - $$) db 0

code:
        zero_segments
        mov [entry_dl], dl
        mov [entry_si], si

        mov si, text_head
        call print
        mov si, label
        call print
        mov si, text_disk
        call print
        mov al, [disk]
        call hex_nibble
        mov si, text_part
        call print
        mov al, [part]
        call hex_nibble
        mov si, text_dl
        call print
        mov al, [entry_dl]
        call hex_byte
        mov si, text_si
        call print
        mov al, [entry_si + 1]
        call hex_byte
        mov al, [entry_si]
        call hex_byte
        mov si, text_type
        call print

        ; Read sector 0 of the drive this sector belongs to, into 0x8000.
        mov ax, 0x0201
        mov bx, 0x8000
        mov cx, 0x0001
        mov dh, 0
        mov dl, [disk]
        or dl, 0x80
        int 0x13
        jc .unknown
        mov bl, [part]
        and bx, 3
        shl bx, 4
        mov al, [bx + 0x8000 + 446 + 4]
        call hex_byte
        jmp .done
.unknown:
        mov si, text_unknown
        call print
.done:
        mov si, text_end
        call print
.halt:
        cli
        hlt
        jmp .halt

        print_routines

text_head:    db "VBMARK ", 0
text_disk:    db " disk=", 0
text_part:    db " part=", 0
text_dl:      db " dl=", 0
text_si:      db " si=", 0
text_type:    db " type=", 0
text_unknown: db "??", 0
text_end:     db 13, 10, 0

entry_dl:     db 0
entry_si:     dw 0

        times 428 - ($ - $$) db 0
label:        db "UNNAMED", 0     ; 428..435, patched: up to 7 characters and a 0
disk:         db 0                ; 436, patched
part:         db 0                ; 437, patched

        times 510 - ($ - $$) db 0
        dw 0xAA55
