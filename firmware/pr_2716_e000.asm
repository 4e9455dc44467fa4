; CP/M BIOS at 0xE000 (placeholder until the real one lands).
        org 0xE000
        ret
        ds 0xE800-$,0xFF
