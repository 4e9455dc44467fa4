; CP/M boot ROM (placeholder until the real one lands).
        org 0
        di
idle:   halt
        jr idle
        ds 0x1000-$,0xFF
