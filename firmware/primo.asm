; Primo A/B firmware (placeholder until the real one lands).
; VARIANT_B selects the B model's keyboard layout and font.
        org 0
        di
        im 1
        ld sp,0x4400
idle:   halt
        jr idle
        ds 0x017E-$,0xFF
        db "4"
        ds 0x4000-$,0xFF
