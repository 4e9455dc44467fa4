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

        include "layout_mid.inc"
        include "color.inc"
        include "font.inc"

        ds 0x3178-$,FILL
        jp scr_init
        include "layout_top.inc"
