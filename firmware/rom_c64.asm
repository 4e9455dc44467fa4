; Brevan open firmware for the Primo C64 (16 KB at 0x0000): the A/B entry
; points at the same addresses, its own keyboard and tape entry points.
VARIANT_B:   equ 0
MODEL_C:     equ 1
ID_CHAR:     equ '9'
KBD_ADDR:    equ 0x09D0
GETKEY_ADDR: equ 0x09AD         ; its JR NZ is at 0x09B0
LDHDR_ADDR:  equ 0x0C6B
LDHDR_CONT:  equ 0x0CCF
NEXTBLK:     equ 0x0D96
RDBYTE:      equ 0x0DCD
RDBYTE_CONT: equ 0x0DD4

        include "sysvars.inc"
        include "vectors.inc"
        include "screen.inc"
        include "keyboard.inc"

        ds GETKEY_ADDR-$,FILL
        include "getkey.inc"

        ds KBD_ADDR-$,FILL
        include "kbdfix.inc"
        include "compat.inc"

        ds LDHDR_ADDR-$,FILL
        include "tapefix.inc"

        ds 0x0FBD-$,FILL
        jp num_to_text
        include "monitor.inc"

        ds 0x197E-$,FILL
        jp warm
        ds 0x1A19-$,FILL
        jp warm
        ds 0x1B4D-$,FILL
        ret
        include "restart.inc"

        ds 0x1E5A-$,FILL
        jp text_to_num
        ds 0x1E83-$,FILL
        ret
        ds 0x1EA3-$,FILL
        jp no_basic
        include "tape.inc"
        include "iec.inc"

        ds 0x2B75-$,FILL
        jp prints
        include "color.inc"
        include "font.inc"

        ds 0x3178-$,FILL
        jp scr_init
        ds 0x3D03-$,FILL
        jp prints
        ds 0x3F3A-$,FILL
        jp pixel_addr
        ds 0x3F68-$,FILL
        jp beep

        ds 0x4000-$,FILL
