; Brevan open firmware for the Primo A and B models (16 KB at 0x0000).
; VARIANT_B (set by the wrapper) selects the B keyboard layout and font.
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
        include "restart.inc"
        include "main.inc"

        ds KBD_ADDR-$,0xFF
        include "kbdfix.inc"

; The key repeat rate; the machine may turn this LD A,(nn) into LD A,3 + NOP.
        ds REPEAT_ADDR-$,0xFF
GET_REPEAT:
        ld a,(KREPEAT)
        ret

        ds GETKEY_ADDR-$,0xFF
        include "getkey.inc"

        ds LDHDR_ADDR-$,0xFF
        include "tapefix.inc"

        ds 0x4000-$,0xFF
