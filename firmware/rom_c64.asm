; Brevan open firmware for the Primo C64 (16 KB at 0x0000).
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

        ds GETKEY_ADDR-$,0xFF
        include "getkey.inc"

        ds KBD_ADDR-$,0xFF
        include "kbdfix.inc"

        ds LDHDR_ADDR-$,0xFF
        include "tapefix.inc"

        include "restart.inc"
        include "main.inc"

        ds 0x4000-$,0xFF
