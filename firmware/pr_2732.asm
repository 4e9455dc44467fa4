; Primo CP/M boot ROM, 4 KB at 0x0000.
; Brings up the screen, reads the boot sector (track 0, sector 1) of drive A:
; to BOOT_LOAD and runs it there with this ROM still in bank 0. Without a
; readable system disk it shows the request below and tries again once a
; key has been pressed. The character generator at FONT_ROM is also what
; the BIOS copies into RAM, so both draw the same letters.

        include 'cpm_layout.inc'

MSG_ROW:        equ 11

        org 0
        di
        jp start

; Bytes 0x14 and 0x3B are rewritten by the machine when the model is set
; up, so both fall into filler here.

        ds 0x38-$,0xFF
        ret                         ; interrupts stay off while booting

        ds 0x66-$,0xFF
        retn                        ; the frame NMI stays disabled

; The only texts of the boot ROM.
msg_title:      db "Primo CP/M",0
msg_nodisk:     db "Helyezzen be rendszerlemezt!",0
msg_nodisk_end:

start:  ld sp,BIOS_STACK
        xor a                       ; drive A:, side 0
        ld (FDC_SEL),a
        ld a,CTRL_VALUE
        out (PORT_CTRL),a
        ld a,BANK_ROM
        out (PORT_BANK),a
        call cls
        ld de,1*256 + (TEXT_COLS - (msg_nodisk - msg_title - 1)) / 2
        ld hl,msg_title
        call print_at
try_boot:
        call load_boot_sector
        jr nc,run_boot
        call fdc_motor_off
        ld de,MSG_ROW*256 + (TEXT_COLS - (msg_nodisk_end - msg_nodisk - 1)) / 2
        ld hl,msg_nodisk
        call print_at
        call wait_key
        call clear_msg_row
        jr try_boot
run_boot:
        call fdc_motor_off
        jp BOOT_LOAD

; Carry set when no usable boot sector could be read.
load_boot_sector:
        ld b,3
lb_try: push bc
        call fdc_restore
        jr c,lb_fail
        ld de,0x0001                ; track 0, sector 1
        ld hl,BOOT_LOAD
        call fdc_read_sector
lb_fail:
        pop bc
        jr nc,lb_check
        djnz lb_try
        scf
        ret
; A freshly formatted disk holds the same byte throughout, apart from the
; format mark in the last three bytes: nothing to run.
lb_check:
        ld hl,BOOT_LOAD
        ld a,(hl)
        ld bc,512-3
lb_cmp: cpi
        jr nz,lb_ok
        jp pe,lb_cmp
        scf
        ret
lb_ok:  or a
        ret

; Waits for all keys up, then for any key down.
wait_key:
        call any_key
        jr nz,wait_key
wk_down:
        call any_key
        jr z,wk_down
        ret

; NZ when any of the 64 key positions reads pressed.
any_key:
        ld bc,64*256 + 0
ak_next:
        in a,(c)
        rrca
        jr c,ak_hit
        inc c
        djnz ak_next
        xor a
        ret
ak_hit: or 0xFF
        ret

cls:    ld hl,SCREEN
        ld de,SCREEN+1
        ld bc,SCREEN_BYTES-1
        ld (hl),0
        ldir
        ret

clear_msg_row:
        ld hl,SCREEN + MSG_ROW*256
        ld de,SCREEN + MSG_ROW*256 + 1
        ld bc,255
        ld (hl),0
        ldir
        ret

; Prints the zero-terminated text at HL from row D, column E.
print_at:
        ld a,(hl)
        or a
        ret z
        push hl
        push de
        call glyph_at
        pop de
        pop hl
        inc hl
        inc e
        jr print_at

; Draws character A in the cell at row D, column E.
glyph_at:
        sub 0x20
        cp 0x60
        jr c,ga_known
        ld a,'?' - 0x20
ga_known:
        ld l,a
        ld h,0
        add hl,hl
        add hl,hl
        add hl,hl
        ld bc,font
        add hl,bc
        ld a,d
        add a,SCREEN >> 8
        ld d,a
        ld b,8
ga_row: ld a,(hl)
        ld (de),a
        inc hl
        ld a,e
        add a,TEXT_COLS
        ld e,a
        djnz ga_row
        ret

        include 'cpm_fdc.inc'

        ds FONT_ROM-$,0xFF
font:
        include 'cpm_font.inc'

        ds 0x1000-$,0xFF
