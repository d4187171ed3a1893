; Standard master boot program, written over sector 0 of disk 0 when the boot
; manager is removed. It boots the partition that the disk's own table marks
; active. The BIOS loads it to 0000:7C00; it moves offsets 27..511 (code,
; messages and the partition table) to 0000:061B and runs there, so an
; address is offset + 0x0600. Bytes 440..511 come from the disk.

bits 16
cpu 386
%include "layout.inc"
%include "layout_assert.inc"

org LOAD_BASE

BUFFER          equ 0x7C00
SIGNATURE       equ BUFFER + SECTOR_SIZE - 2
SIGNATURE_VALUE equ 0xAA55
ENTRY_SIZE      equ 16
ENTRY_FIRST     equ LOAD_BASE + PARTITION_TABLE     ; relocated table
ENTRY_END       equ ENTRY_FIRST + 4 * ENTRY_SIZE
PE_BOOT         equ 0                   ; boot indicator, also the drive
PE_HEAD         equ 1
PE_SECTOR       equ 2                   ; sector and cylinder word
PE_TYPE         equ 4
PE_START        equ 8                   ; 32-bit starting block
PE_FALLBACK     equ ENTRY_SIZE          ; flag byte just after the active entry
STARTUP_SIZE    equ 27
RELOCATED       equ LOAD_BASE + STARTUP_SIZE
RELOCATED_BYTES equ SECTOR_SIZE - STARTUP_SIZE      ; 485
READ_ATTEMPTS   equ 5
BACKUP_OFFSET   equ 6                   ; FAT32 backup boot sector
MSG_INVALID     equ 300                 ; offsets of the three messages
MSG_ERROR       equ 324
MSG_MISSING     equ 355
MESSAGES_END    equ 380

; ---------------------------------------------------------------------------
; Start-up at 0000:7C00 (offsets 0..26); any CS:IP for that address works,
; because nothing here depends on CS and the far return sets it.
start:
        xor ax, ax
        mov ss, ax
        mov sp, BUFFER
        mov es, ax
        mov ds, ax
        sti
        cld
        mov si, BUFFER + STARTUP_SIZE
        mov di, RELOCATED
        push ax                         ; far return to 0000:061B
        push di
        mov cx, RELOCATED_BYTES
        rep movsb
        retf
assert_at STARTUP_SIZE, "start-up code does not end at offset 27"

; ---------------------------------------------------------------------------
; Find the active entry: indicator 0 = not active, 0x80..0xFF = active,
; anything else is invalid. Entries after the active one must be 0.
relocated:
        mov bp, ENTRY_FIRST
.scan:
        mov al, [bp+PE_BOOT]
        test al, al
        js short .active
        jnz short invalid_table
        add bp, byte ENTRY_SIZE
        cmp bp, ENTRY_END
        jb short .scan
.none:
        int 0x18                        ; nothing to boot
        jmp short .none
.active:                                ; BP: active entry
        mov si, bp
.rest:
        add si, byte ENTRY_SIZE
        cmp si, ENTRY_END
        jae short load
        cmp byte [si+PE_BOOT], 0
        je short .rest
invalid_table:
        mov al, [message_invalid]
        jmp short show

; ---------------------------------------------------------------------------
; Load the active partition's first sector; for FAT32 fall back once to its
; backup boot sector. IN: BP = active entry (in the relocated table).
load:
        mov byte [bp+PE_FALLBACK], 0
.attempt:
        call read_sector
        jc short .failed
        cmp word [SIGNATURE], SIGNATURE_VALUE
        je short boot
        mov al, [message_missing]
        jmp short .retry
.failed:
        mov al, [message_error]
.retry:                                 ; AL: message if this was the fallback
        cmp byte [bp+PE_FALLBACK], 0
        jne short show
        inc byte [bp+PE_FALLBACK]
        mov al, [bp+PE_TYPE]
        sub al, 0x0B                    ; FAT32: 0x0B (CHS) or 0x0C (LBA)
        cmp al, 0x0C - 0x0B
        jbe short .backup
        mov al, [message_error]
        jmp short show
.backup:
        ; Only the copy of the table in memory changes.
        add byte [bp+PE_SECTOR], BACKUP_OFFSET
        add word [bp+PE_START], byte BACKUP_OFFSET
        adc word [bp+PE_START+2], byte 0
        jmp short .attempt

; Enter the boot sector with DS:SI at the active entry and DL = its indicator.
boot:
        mov si, bp
        mov dl, [bp+PE_BOOT]
        jmp 0x0000:BUFFER

; ---------------------------------------------------------------------------
; Print the message at 0x0700 + AL and stop. The teletype service may
; change every register but SI and the segment registers, so BX is set
; for each character.
; IN: AL = low byte of the message address. Never returns.
show:
        mov ah, STANDARD_MESSAGE_PAGE >> 8
        mov si, ax
.next:
        lodsb
        test al, al
        jz short .stop
        mov ah, 0x0E
        mov bx, 7                       ; page 0, colour 7
        int 0x10
        jmp short .next
.stop:
        jmp short .stop

; ---------------------------------------------------------------------------
; Read the first sector of the partition at BP into 0000:7C00: a CHS read
; when the partition starts inside the CHS capacity that the BIOS reports (or
; it reports none), else an extended read. Up to five reads, with a drive
; reset after each failed one; without the Int 13 extensions the extended
; read fails at once.
; IN: BP = entry. OUT: CF clear when the sector was read.
; CLOBBERS: AX, BX, CX, DX, SI, DI.
read_sector:
        mov di, READ_ATTEMPTS
.attempt:
        mov dl, [bp+PE_BOOT]
        push di
        mov ah, 0x08                    ; drive geometry
        int 0x13
        pop di
        push ds                         ; function 08h may change ES
        pop es
        jc short .decided               ; no geometry: CF selects CHS
        ; capacity = sectors (CL 0..5) * heads (DH + 1) * cylinders (+1)
        mov al, cl
        and ax, 0x003F
        mov bl, dh
        mov bh, 0
        inc bx
        mul bx                          ; AX = sectors * heads (fits 16 bits)
        xchg ax, bx
        mov al, ch
        mov ah, cl
        shr ah, 6                       ; AX = maximum cylinder (10 bits)
        inc ax
        mul bx                          ; DX:AX = capacity
        cmp [bp+PE_START+2], dx
        jne short .decided
        cmp [bp+PE_START], ax
.decided:                               ; CF: the start lies below the capacity
        mov dl, [bp+PE_BOOT]            ; keeps CF; DL stays through the reads
        jnc short .extended
        mov dh, [bp+PE_HEAD]
        mov cx, [bp+PE_SECTOR]
        mov bx, BUFFER
        mov ax, 0x0201
        int 0x13
        jmp short .result
.extended:
        mov bx, 0x55AA
        mov ah, 0x41
        int 0x13
        jc short .done                  ; no extensions: fail now
        cmp bx, 0xAA55
        jne short .unsupported
        test cl, 1                      ; packet interface
        jz short .unsupported
        push ds                         ; block, upper 32 bits: 0
        push ds
        push word [bp+PE_START+2]       ; block, lower 32 bits
        push word [bp+PE_START]
        push ds                         ; buffer 0000:7C00
        push word BUFFER
        push byte 1                     ; block count
        push byte 0x10                  ; packet size, reserved byte 0
        mov si, sp
        mov ah, 0x42
        int 0x13
        lea sp, [si+0x10]               ; drop the packet, keep CF
.result:
        jnc short .done
        dec di                          ; keeps CF
        jz short .done                  ; five reads failed
        mov ah, 0x00                    ; reset the drive
        int 0x13
        jmp short .attempt
.unsupported:
        stc
.done:
        ret

%if ($ - $$) > MSG_INVALID
  %error "code runs into the messages"
%endif
        times MSG_INVALID - ($ - $$) db 0
assert_at MSG_INVALID, "first message moved"
text_invalid:
        db "Invalid partition table", 0
assert_at MSG_ERROR, "second message moved"
text_error:
        db "Error loading operating system", 0
assert_at MSG_MISSING, "third message moved"
text_missing:
        db "Missing operating system", 0
assert_at MESSAGES_END, "messages do not end at 380"
        times STANDARD_MESSAGE_BYTES - ($ - $$) db 0
; Low bytes of the message addresses; the high byte is 0x07 for all three.
%macro message_byte 1
  %assign address (%1) - $$ + LOAD_BASE
  %if (address & 0xFF00) != STANDARD_MESSAGE_PAGE
    %error "message outside the message page"
  %endif
        db address & 0xFF
%endmacro
message_invalid:
        message_byte text_invalid
message_error:
        message_byte text_error
message_missing:
        message_byte text_missing
assert_at DISK_SIGNATURE, "message bytes do not end at the disk signature"
        times TEMPLATE_SIZE - ($ - $$) db 0
assert_at TEMPLATE_SIZE, "template is not 446 bytes"
