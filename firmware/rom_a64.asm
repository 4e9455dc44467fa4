VARIANT_B: equ 0
        include "primo.asm"
