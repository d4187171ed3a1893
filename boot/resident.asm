; VornBoot resident boot program: sector 0 of disk 0.
;
; The BIOS loads this sector to 0000:7C00. Offsets 0..29 run there; they copy
; offsets 30..443 to 0000:061E, so everything else runs at offset + 0x0600.
; The image compiler patches the slots (immediate operands) and fills the
; variable area behind the texts; this file is the unpatched template.
;
; Assembled twice: without EXTENDED_READ_STEP (the template, CHS boot step) and
; with it (only bytes 227..246, the extended-read boot step, are taken from
; that variant; the build checks that all other bytes agree).
;
; State carried between the steps (CS = DS = ES = SS = 0 throughout):
;   BP  0x7C00, the top of the password-address list, during the dialogue;
;       from the partition rewriting on, the active entry of the disk just
;       processed (or the drive number while none has been seen)
;   SP  below the pushed password addresses (entry 0 at 0x7BFE, ...)
;   DI  keys typed since the prompt          (dialogue)
;   DH  mismatch mask, bit i = entry i lost  (dialogue)
;   DL  bit of the entry being compared      (dialogue); drive (rewriting)
;   SI  current disk byte of the chosen record (rewriting)
;   BX  0x7C00, the sector buffer            (rewriting, boot step)
;   CX  1 (cylinder 0, sector 1) at every disk read and write
; These survive every BIOS call: print keeps all registers around INT 10h,
; INT 16h returns only AX, and INT 13h changes only AX and the carry flag.
; Nothing is taken from the BIOS's entry state but CS = 0 (DL is not used).

bits 16
cpu 386
%include "layout.inc"
%include "layout_assert.inc"

org LOAD_BASE

BUFFER          equ 0x7C00              ; BIOS load address, later the sector buffer
ENTRY_SIZE      equ 16                  ; one partition table entry
ENTRY_FIRST     equ BUFFER + PARTITION_TABLE
ENTRY_LAST      equ ENTRY_FIRST + 3 * ENTRY_SIZE
PE_HEAD         equ 1                   ; partition entry: start head
PE_SECTOR       equ 2                   ; start sector and cylinder word
PE_TYPE         equ 4                   ; type ID
PE_START        equ 8                   ; 32-bit starting block
RELOCATED       equ LOAD_BASE + STARTUP_END
RELOCATED_WORDS equ (MARKER - STARTUP_END) / 2        ; 0xCF: offsets 30..443
ACTIVE_BIT      equ 0x80                ; disk byte, after shifting: active bit
HIDDEN_BIT      equ 0x10                ; disk byte, after one more shift: hidden bit
SCAN_ENTER      equ PASSWORD_END


; ---------------------------------------------------------------------------
; Step 1, start-up at 0000:7C00 (offsets 0..29).
start:
        xor ax, ax
        mov ss, ax
        mov sp, BUFFER
        mov ds, ax
        mov es, ax
        sti
        cld
        mov si, BUFFER + STARTUP_END
        mov di, RELOCATED
        mov cx, RELOCATED_WORDS         ; leaves CX = 0 (used at offset 128)
        rep movsw
        mov si, banner                  ; SI: banner, printed by step 2
        ; Near jump from 0x7C1E to 0x061E: the displacement wraps modulo 64 KiB,
        ; so this relies on CS = 0.
        db 0xE9
        dw relocated - (BUFFER + STARTUP_END)
assert_at STARTUP_END, "start-up code does not end at the relocation boundary"

; ---------------------------------------------------------------------------
; Step 2, banner (30..32). IN: SI = banner.
relocated:
        call print

; Step 3, entry listing (33..59).
assert_at 33, "entry-list set-up moved"
        mov si, 0                       ; slot: first entry record
assert_at SLOT_FIRST_ENTRY + 2, "first-entry slot moved"
        mov dx, 1                       ; slot: disk count N (high byte stays 0)
assert_at SLOT_DISK_COUNT + 2, "disk-count slot moved"
        mov bp, sp                      ; BP: top of the password-address list
assert_at 41, "entry listing loop moved"
; IN: SI = record, DX = N. OUT: one pushed password address per record.
list_entry:
        cmp byte [si], 0                ; a 0 byte ends the list
        je short prompt
        call print                      ; name and line end; SI -> password
        push si
.skip_password:
        lodsb
        cmp al, SCAN_ENTER
        jne short .skip_password
        add si, dx                      ; skip the N disk bytes
        jmp short list_entry
        nop                             ; free
assert_at 60, "prompt moved"

; ---------------------------------------------------------------------------
; Step 4, password dialogue (60..125).
prompt:
        mov si, text_prompt             ; slot: prompt text
assert_at SLOT_PROMPT_TEXT + 2, "prompt-text slot moved"
        call print
assert_at 66, "key loop moved"
        xor di, di                      ; DI: keys typed
        mov dh, 0                       ; DH: mismatch mask
; IN: BP = top of the address list, SP = its bottom.
.key:
        mov ah, 0
        int 0x16                        ; AH = scan code (AL ignored)
        mov dl, 1                       ; DL: bit of entry 0
        mov si, bp
.entry:
        dec si
        dec si
        mov bx, [si]                    ; BX: this entry's password
        cmp ah, [bx+di]
        je short .same
        or dh, dl                       ; differs: this entry cannot match
.same:
        cmp ah, SCAN_ENTER
        jne short .next
        test dh, dl
        jz short accepted               ; Enter and all keys matched: chosen
.next:
        shl dl, 1
        cmp si, sp
        jne short .entry
        inc di
        cmp ah, SCAN_ENTER
        jne short .key
assert_at 109, "wrong-password path moved"
        mov si, text_wrong              ; slot: wrong-password text
assert_at SLOT_WRONG_TEXT + 2, "wrong-text slot moved"
        call print
        jmp short prompt
assert_at 117, "accepted path moved"
; IN: BX = chosen password, DI = position of its end byte.
accepted:
        mov si, text_ok                 ; slot: accepted-password text
assert_at SLOT_OK_TEXT + 2, "ok-text slot moved"
        call print
        lea si, [bx+di+1]               ; SI: first disk byte (disk N-1)
assert_at 126, "disk-loop set-up moved"

; ---------------------------------------------------------------------------
; Step 5, rewrite sector 0 of every disk, disk N-1 first, disk 0 last.
        mov bx, bp                      ; BX: buffer (BP = 0x7C00 since step 3)
        inc cx                          ; CX: 1 (0 since the start-up copy)
        mov dx, 0x80                    ; slot: last drive 0x7F + N (DH = 0: head 0)
assert_at SLOT_LAST_DRIVE + 2, "last-drive slot moved"

assert_at 132, "disk loop moved"
; IN: DL = drive, DH = 0, SI = its disk byte, BX = buffer, CX = 1.
; OUT: BP = active entry of this disk, or the drive number if it has none.
; CLOBBERS: AX, DI.
disk:
        push si
        mov bp, dx                      ; no active entry yet
        mov ax, 0x0201
        int 0x13                        ; read sector 0
        jc short .done
        mov ah, [si]                    ; AH: disk byte, partition 3 at bits 7/3
        mov si, ENTRY_LAST
        mov cl, 4                       ; CX: partitions left (CH = 0)
.partition:                             ; SI: entry, partitions 3, 2, 1, 0
        mov [si], ah
        and byte [si], ACTIVE_BIT       ; boot indicator 0x80 or 0
        jz short .inactive
        mov bp, si
.inactive:
        shl ah, 1                       ; hidden bit now at bit 4
        push cx
        mov di, 0                       ; slot: type-map table
assert_at SLOT_MAP_TABLE + 2, "map-table slot moved"
        mov cl, 0                       ; slot: table length (CH = 0)
assert_at SLOT_MAP_LENGTH + 1, "map-length slot moved"
        mov al, [si+PE_TYPE]
        repne scasb                     ; either column of any pair
        pop cx
        jne short .unmapped
        ; The table starts at an even address: the pair holding the match
        ; at DI-1 has its hidden ID at (DI-1) | 1 and its original ID before.
        dec di
        or di, byte 1
        test ah, HIDDEN_BIT
        jnz short .hidden
        dec di
.hidden:
        mov al, [di]
        mov [si+PE_TYPE], al
.unmapped:
        sub si, byte ENTRY_SIZE
        loop .partition
        inc cx                          ; CX: 1 again
        mov ax, 0x0301
        int 0x13                        ; write sector 0 back
.done:                                  ; CF: the read or the write failed
        ; Disk 0 without an active entry (sector 0 unreadable, or a disk byte
        ; without an active bit) must not reach the boot step, which would
        ; start whatever the stale BP and buffer describe. Exactly then BP
        ; still holds 0x80, the drive number set above; the drive numbers of
        ; other disks and entry addresses are never 0x80.
        lea ax, [bp-0x7F]               ; keeps CF
        dec ax
        jnz short .boot_possible
.no_boot:
        int 0x18                        ; no bootable partition on disk 0
        jmp short .no_boot              ; should the BIOS ever return
        nop                             ; free
        nop                             ; free
.boot_possible:
        jnc short next_disk             ; else fall into the error text
assert_at 214, "disk-error path moved"
disk_error:
        mov si, text_disk_error         ; slot: disk-error text
assert_at SLOT_DISK_ERROR_TEXT + 2, "disk-error-text slot moved"
        call print
assert_at 220, "disk loop end moved"
next_disk:
        pop si
        inc si                          ; next disk byte
        dec dl
        js short disk                   ; while DL >= 0x80
assert_at 226, "drive set-up moved"
        inc dx                          ; DX: 0x0080 (DL was 0x7F): disk 0, head 0
assert_at BOOT_STEP, "boot step moved"

; ---------------------------------------------------------------------------
; Step 6, boot step (227..246): load the active partition's boot sector of
; disk 0 to 0000:7C00 and enter it with DL = 0x80.
; IN: BP = active entry of disk 0, DX = 0x0080, BX = buffer.
%ifdef EXTENDED_READ_STEP
        ; Disk address packet on the stack: size 16, count 1, buffer
        ; 0000:7C00, 64-bit block number. The result is not examined.
        push ds                         ; block, upper 32 bits: 0
        push ds
        push dword [bp+PE_START]        ; block, lower 32 bits
        push ds                         ; buffer segment 0
        push bx                         ; buffer offset 0x7C00
        push byte 1                     ; block count
        push byte 0x10                  ; packet size, reserved byte 0
        mov ah, 0x42
        mov si, sp
        int 0x13
        jmp bx
%else
        mov dh, [bp+PE_HEAD]
        mov cx, [bp+PE_SECTOR]
        mov ax, 0x0201
        int 0x13
        push bx                         ; return address: 0000:7C00
        jnc short print.return
        nop                             ; free
        mov si, text_disk_error         ; slot: disk-error text (CHS step only)
  assert_at SLOT_DISK_ERROR_TEXT_CHS + 2, "CHS disk-error-text slot moved"
        nop                             ; free
        nop                             ; free
        ; falls into print, whose return enters 0000:7C00
%endif
assert_at PRINT_ROUTINE, "print routine moved"

; ---------------------------------------------------------------------------
; Step 7, print the 0-terminated string at SI with the teletype service.
; Some BIOSes change BP, AX and other registers in it (BP when the screen
; scrolls), while the steps above keep their state in BX, CX, DX, DI and BP
; across a print: every register is saved around each character.
; IN: SI = string. OUT: SI just past its 0. CLOBBERS: AL (0). Keeps the rest.
print:
.next:
        lodsb
        test al, al
        jz short .return
        pusha
        mov ah, 0x0E
        mov bx, 7                       ; page 0, colour 7
        int 0x10
        popa
        jmp short .next
.return:
        ret
assert_at BANNER, "banner moved"

; ---------------------------------------------------------------------------
; Data: banner, default texts (back to back), then the variable area.
banner:
        db "VornBoot 2.0", 13, 10, 10, 0
assert_at TEXT_AREA, "text area moved"
text_prompt:
        db 10, "Enter password: ", 0
assert_at 298, "wrong-password text moved"
text_wrong:
        db "WRONG!", 13, 0
assert_at 306, "accepted-password text moved"
text_ok:
        db "OK", 13, 10, 10, 0
assert_at 312, "disk-error text moved"
text_disk_error:
        db "Disk IO Error", 13, 10, 0
assert_at 328, "default texts do not end at 328"
        times DISK_SIGNATURE - ($ - $$) db 0
        times MARKER - ($ - $$) db 0    ; the disk signature's place
        dw MARKER_VALUE
assert_at TEMPLATE_SIZE, "template is not 446 bytes"
