; Brevan open firmware for the Primo A and B models (16 KB at 0x0000).
; VARIANT_B (set by the wrapper) selects the B keyboard layout. The code is
; laid out between the fixed addresses programs and the emulator use; every
; byte left over is FILL (RST 30h), which reports a call into a gap.
MODEL_C:     equ 0
ID_CHAR:     equ '4'
KBD_ADDR:    equ 0x3866
REPEAT_ADDR: equ 0x3925
GETKEY_ADDR: equ 0x394C         ; its JR NZ is at 0x394F
LDHDR_ADDR:  equ 0x3B49
LDHDR_CONT:  equ 0x3BAD
NEXTBLK:     equ 0x3C75
RDBYTE:      equ 0x3CAC
RDBYTE_CONT: equ 0x3CB3

        include "sysvars.inc"
        include "vectors.inc"
        include "screen.inc"
        include "font.inc"
        include "keyboard.inc"
        include "compat.inc"

        include "layout_mid.inc"
        ds 0x3178-$,FILL
        jp scr_init

        ds KBD_ADDR-$,FILL
        include "kbdfix.inc"

; The key repeat rate; the machine may turn this LD A,(nn) into LD A,3 + NOP.
        ds REPEAT_ADDR-$,FILL
GET_REPEAT:
        ld a,(KREPEAT)
        ret

        ds GETKEY_ADDR-$,FILL
        include "getkey.inc"

        ds LDHDR_ADDR-$,FILL
        include "tapefix.inc"

        include "layout_top.inc"
