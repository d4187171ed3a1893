; Resident boot program (preliminary: data layout only, code follows).
bits 16
%include "layout.inc"
org LOAD_BASE
start:
    times SLOT_FIRST_ENTRY - ($-$$) db 0x90
    dw 0
    times SLOT_DISK_COUNT - ($-$$) db 0x90
    dw 1
    times SLOT_PROMPT_TEXT - ($-$$) db 0x90
    dw 0x0718
    times SLOT_WRONG_TEXT - ($-$$) db 0x90
    dw 0x072A
    times SLOT_OK_TEXT - ($-$$) db 0x90
    dw 0x0732
    times SLOT_LAST_DRIVE - ($-$$) db 0x90
    dw 0x80
    times SLOT_MAP_TABLE - ($-$$) db 0x90
    dw 0
    times SLOT_MAP_LENGTH - ($-$$) db 0x90
    db 0
    times SLOT_DISK_ERROR_TEXT - ($-$$) db 0x90
    dw 0x0738
%ifndef EXTENDED_READ_STEP
    times SLOT_DISK_ERROR_TEXT_CHS - ($-$$) db 0x90
    dw 0x0738
%endif
    times BANNER - ($-$$) db 0x90
    db "VornBoot 2.0", 13, 10, 10, 0
    db 10, "Enter password: ", 0
    db "WRONG!", 13, 0
    db "OK", 13, 10, 10, 0
    db "Disk IO Error", 13, 10, 0
    times MARKER - ($-$$) db 0
    dw MARKER_VALUE
