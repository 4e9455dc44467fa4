VARIANT_B: equ 1
        include "primo.asm"
