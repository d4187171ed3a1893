; Standard master boot program (preliminary: data layout only).
bits 16
%include "layout.inc"
org LOAD_BASE
    times 300 - ($-$$) db 0x90
    db "Invalid partition table", 0
    db "Error loading operating system", 0
    db "Missing operating system", 0
    times STANDARD_MESSAGE_BYTES - ($-$$) db 0
    db 0x2C, 0x44, 0x63
    times TEMPLATE_SIZE - ($-$$) db 0
