; CP/M 2.2 for the Primo: the console command processor and the disk
; operating system that the BIOS loads from the reserved tracks to CCP
; (0x1600 bytes, BDOS entry at BDOS_ENTRY). They reach the BIOS only through
; the jump vector at BIOS_VECTOR.
        include "cpm_layout.inc"

        include "cpm/ccp.inc"
        ds BDOS_ENTRY - 6 - $, 0
        include "cpm/bdos.inc"
        ds CCP + SYS_BYTES - $, 0
