; The CP/M console command processor and disk operating system that the
; BIOS loads from the reserved tracks to CCP (0x1600 bytes, BDOS entry at
; BDOS_ENTRY). Until they are written this is a stand-in that says so.
        include "cpm_layout.inc"

        org CCP
ccp_start:
        jp ccp_stub
        jp ccp_stub
ccp_stub:
        ld hl, ccp_msg
ccp_loop:
        ld a, (hl)
        or a
        jr z, ccp_halt
        ld c, a
        push hl
        call BIOS_VECTOR + 12           ; CONOUT
        pop hl
        inc hl
        jr ccp_loop
ccp_halt:
        halt
        jr ccp_halt
ccp_msg:
        defb "No CP/M system yet", 13, 10, 0

        ds BDOS_ENTRY - $, 0
        jp ccp_stub
        ds CCP + SYS_BYTES - $, 0
