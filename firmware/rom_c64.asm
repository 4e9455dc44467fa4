; Primo C64 firmware (placeholder until the real one lands).
        org 0
        di
        im 1
        ld sp,0x4400
idle:   halt
        jr idle
        ds 0x017E-$,0xFF
        db "9"
        ds 0x4000-$,0xFF
