; Primo CP/M 2.2 BIOS, 2 KB at 0xE000 in the write-protected area.
; Console: 32 x 24 characters on display page 0 and the keyboard matrix;
; list device: the printer port; disk A: through the WD1793, 512-byte
; sectors blocked into CP/M's 128-byte records. All variables live in RAM
; at VARS (see cpm_layout.inc); the glyphs are copied from the boot ROM at
; cold start, while bank 0 is still selected.

        include 'cpm_layout.inc'

NDISKS:         equ 1               ; the controller has no drive-select port yet

        org BIOS_BASE
        jp boot
wbootj: jp wboot
        jp const
        jp conin
        jp conout
        jp list
        jp punch
        jp reader
        jp home
        jp seldsk
        jp settrk
        jp setsec
        jp setdma
        jp read
        jp write
        jp listst
        jp sectran

; Variables.
sekdsk:         equ VARS+0
sektrk:         equ VARS+1          ; word
seksec:         equ VARS+3
hstdsk:         equ VARS+4
hsttrk:         equ VARS+5
hstsec:         equ VARS+6
hstact:         equ VARS+7          ; HSTBUF holds hstdsk/hsttrk/hstsec
hstwrt:         equ VARS+8          ; HSTBUF must still be written
dmaadr:         equ VARS+9          ; word
currow:         equ VARS+11
curcol:         equ VARS+12
escst:          equ VARS+13         ; 0, 1 after ESC, 2 after ESC =, 3 row taken
lastkey:        equ VARS+14         ; position still held down, 0xFF none
pendkey:        equ VARS+15         ; character waiting for CONIN, 0 none
capslk:         equ VARS+16
rptcnt:         equ VARS+17         ; blanking changes until the key repeats
lastvb:         equ VARS+18         ; last vertical blank bit seen
VARS_SIZE:      equ 19

KEY_DELAY:      equ 50              ; half a second before a held key repeats
KEY_RATE:       equ 8               ; then about 12 characters a second

; ---------------------------------------------------------------- start-up

boot:   di
        ld sp,BIOS_STACK
        ld a,CTRL_VALUE
        out (PORT_CTRL),a
        ld a,BANK_ROM               ; the glyphs are in the boot ROM
        out (PORT_BANK),a
        ld hl,FONT_ROM
        ld de,FONT_RAM
        ld bc,FONT_BYTES
        ldir
        ld a,BANK_RAM               ; CP/M needs RAM from address 0
        out (PORT_BANK),a
        ld hl,VARS
        ld de,VARS+1
        ld bc,VARS_SIZE-1
        ld (hl),0
        ldir
        ld a,0xFF
        ld (lastkey),a
        ld hl,dph_template
        ld de,DPH_RAM
        ld bc,16
        ldir
        call con_clear
        call cursor_flip
        ld hl,0                     ; did the bank switch give RAM?
        ld (hl),0x5A
        ld a,(hl)
        cp 0x5A
        jr z,boot_ram
        ld hl,msg_nobank
        call puts
boot_stop:
        halt
        jr boot_stop
boot_ram:
        xor a
        ld (3),a                    ; IOBYTE
        ld (4),a                    ; drive A:, user 0
        ld hl,msg_signon
        call puts
        jr load_cpm

wboot:  di
        ld sp,BIOS_STACK
        ld a,BANK_RAM
        out (PORT_BANK),a
        call flush
load_cpm:
        xor a
        ld (hstact),a
        ld (hstwrt),a
        call load_system
        jr nc,gocpm
        ld hl,msg_loaderr
        call puts
        call conin
        jr load_cpm
gocpm:  ld hl,BIOS_VECTOR
        ld de,BIOS_BASE
        ld b,17
gv_next:
        ld (hl),0xC3
        inc hl
        ld (hl),e
        inc hl
        ld (hl),d
        inc hl
        inc de
        inc de
        inc de
        djnz gv_next
        ld a,0xC3
        ld (0),a
        ld hl,wbootj
        ld (1),hl
        ld (5),a
        ld hl,BDOS_ENTRY
        ld (6),hl
        ld bc,0x80
        call setdma
        ld a,(4)
        and 0x0F
        cp NDISKS
        jr c,go_drive
        xor a
        ld (4),a
go_drive:
        ld a,(4)
        ld c,a
        jp CCP

; CCP and BDOS follow the boot sector: track 0 from sector 2, then the next
; track. The end of a track shows as a sector that cannot be read.
load_system:
        call fdc_restore
        jr c,ls_fail
        ld hl,CCP
        ld de,0x0002
        ld b,SYS_SECTORS
ls_next:
        push bc
        push hl
        call fdc_read_sector
        pop hl
        jr nc,ls_ok
        ld a,e
        cp 9                        ; past the last sector of a track?
        jr c,ls_fail_b
        inc d
        ld e,1
        push hl
        call fdc_read_sector
        pop hl
        jr c,ls_fail_b
ls_ok:  ld bc,512
        add hl,bc
        inc e
        pop bc
        djnz ls_next
        jp fdc_motor_off            ; clears carry
ls_fail_b:
        pop bc
ls_fail:
        call fdc_motor_off
        scf
        ret

; ---------------------------------------------------------------- console

conout: call cursor_flip
        ld a,c
        call con_put
        jp cursor_flip

; Character A at the cursor, or a control code.
con_put:
        and 0x7F
        ld c,a
        ld a,(escst)
        or a
        jp nz,con_esc
        ld a,c
        cp 0x20
        jr c,con_ctl
        cp 0x7F
        ret z
        call glyph_put
        ld hl,curcol
        inc (hl)
        ld a,(hl)
        cp TEXT_COLS
        ret c
        ld (hl),0
        jr con_lf

con_ctl:
        cp 13
        jr z,con_cr
        cp 10
        jr z,con_lf
        cp 8
        jr z,con_bs
        cp 12
        jr z,con_clear
        cp 0x1A
        jr z,con_clear
        cp 9
        jr z,con_tab
        cp 7
        jr z,con_bell
        cp 0x1E
        jr z,con_home
        cp 0x0B
        jr z,con_up
        cp 0x1B
        ret nz
        ld a,1
        ld (escst),a
        ret

con_cr: xor a
        ld (curcol),a
        ret

con_lf: ld a,(currow)
        cp TEXT_ROWS-1
        jr nc,con_scroll
        inc a
        ld (currow),a
        ret

con_scroll:
        ld hl,SCREEN+256
        ld de,SCREEN
        ld bc,SCREEN_BYTES-256
        ldir
        ld h,d
        ld l,e
        inc de
        ld (hl),0
        ld bc,255
        ldir
        ret

con_bs: ld hl,curcol
        ld a,(hl)
        or a
        ret z
        dec (hl)
        ret

con_up: ld hl,currow
        ld a,(hl)
        or a
        ret z
        dec (hl)
        ret

con_tab:
        ld a,(curcol)
        or 7
        inc a
        cp TEXT_COLS
        jr nc,con_tab_wrap
        ld (curcol),a
        ret
con_tab_wrap:
        xor a
        ld (curcol),a
        jr con_lf

con_clear:
        ld hl,SCREEN
        ld de,SCREEN+1
        ld bc,SCREEN_BYTES-1
        ld (hl),0
        ldir
con_home:
        xor a
        ld (currow),a
        ld (curcol),a
        ret

; About a tenth of a second of a 1 kHz tone at 2.5 MHz.
con_bell:
        ld b,100
bell_cycle:
        ld a,CTRL_VALUE | CTRL_BEEP
        out (PORT_CTRL),a
        call bell_half
        ld a,CTRL_VALUE
        out (PORT_CTRL),a
        call bell_half
        djnz bell_cycle
        ret
bell_half:
        ld a,75
bell_wait:
        dec a
        jr nz,bell_wait
        ret

; ESC = row+32 col+32 places the cursor; other sequences are dropped.
con_esc:
        cp 1
        jr nz,esc_row
        ld a,c
        cp '='
        ld a,2
        jr z,esc_state
        xor a
esc_state:
        ld (escst),a
        ret
esc_row:
        cp 2
        jr nz,esc_col
        ld a,c
        sub 32
        cp TEXT_ROWS
        jr c,esc_row_ok
        ld a,TEXT_ROWS-1
esc_row_ok:
        ld (currow),a
        ld a,3
        jr esc_state
esc_col:
        ld a,c
        sub 32
        cp TEXT_COLS
        jr c,esc_col_ok
        ld a,TEXT_COLS-1
esc_col_ok:
        ld (curcol),a
        xor a
        jr esc_state

; HL = screen address of the cursor cell.
cell_addr:
        ld a,(currow)
        add a,SCREEN >> 8
        ld h,a
        ld a,(curcol)
        ld l,a
        ret

; Draws character A (0x20-0x7F) in the cursor cell.
glyph_put:
        sub 0x20
        ld l,a
        ld h,0
        add hl,hl
        add hl,hl
        add hl,hl
        ld de,FONT_RAM
        add hl,de
        ex de,hl
        call cell_addr
        ld b,8
gp_row: ld a,(de)
        ld (hl),a
        inc de
        ld a,l
        add a,TEXT_COLS
        ld l,a
        djnz gp_row
        ret

; Inverts the cursor cell: shows or hides the block cursor. Keeps C.
cursor_flip:
        call cell_addr
        ld b,8
cf_row: ld a,(hl)
        cpl
        ld (hl),a
        ld a,l
        add a,TEXT_COLS
        ld l,a
        djnz cf_row
        ret

puts:   ld a,(hl)
        or a
        ret z
        push hl
        ld c,a
        call conout
        pop hl
        inc hl
        jr puts

; ---------------------------------------------------------------- keyboard

const:  ld a,(pendkey)
        or a
        jr nz,const_yes
        call kbd_scan
        ld a,(pendkey)
        or a
        ret z
const_yes:
        ld a,0xFF
        ret

conin:  call fdc_motor_off          ; waiting for the user: the disk rests
conin_wait:
        call const
        jr z,conin_wait
        ld hl,pendkey
        ld a,(hl)
        ld (hl),0
        ret

; Looks for a newly pressed key and leaves its character in pendkey. The
; modifiers are read after the key itself, as the matrix reports a shift
; that belongs to a character right after that character's key.
kbd_scan:
        ld c,0
ks_next:
        ld a,c
        cp KEY_SHIFT
        jr z,ks_skip
        cp KEY_CTRL
        jr z,ks_skip
        in a,(c)
        rrca
        jr c,ks_found
ks_skip:
        inc c
        ld a,c
        cp 64
        jr nz,ks_next
        ld a,0xFF
        ld (lastkey),a
        ret
ks_found:
        ld hl,lastkey
        ld a,c
        cp (hl)
        ld (hl),a
        jr z,ks_held
        ld a,KEY_DELAY
        ld (rptcnt),a
        ld a,c
        cp KEY_CAPS
        jr nz,ks_char
        ld hl,capslk
        ld a,(hl)
        xor 1
        ld (hl),a
        ret
; A held key repeats, timed by the vertical blank: it changes twice a frame.
ks_held:
        cp KEY_CAPS
        ret z
        in a,(PORT_CTRL)
        and 0x20
        ld hl,lastvb
        cp (hl)
        ld (hl),a
        ret z
        ld hl,rptcnt
        dec (hl)
        ret nz
        ld (hl),KEY_RATE
ks_char:
        ld b,0
        ld hl,keys_plain
        in a,(KEY_SHIFT)
        rrca
        jr nc,ks_table
        ld hl,keys_shift
ks_table:
        add hl,bc
        ld a,(hl)
        or a
        ret z
        ld e,a
        ld a,(capslk)
        or a
        jr z,ks_ctrl
        ld a,e
        cp 'a'
        jr c,ks_ctrl
        cp 'z'+1
        jr nc,ks_ctrl
        sub 0x20
        ld e,a
ks_ctrl:
        in a,(KEY_CTRL)
        rrca
        jr nc,ks_store
        ld a,e
        cp 0x40
        jr c,ks_store
        and 0x1F
        ld e,a
ks_store:
        ld a,e
        ld (pendkey),a
        ret

; Characters of the 64 key positions. The arrows give ^E ^X ^D, the home key
; ESC, back space BS (DEL with shift); the accented letters type the ASCII
; signs the keyboard lacks.
keys_plain:
        db 'y',0x05,'s',0,'e',0,'w',0           ; 0-7
        db 'd','3','x','2','q','1','a',0x18     ; 8-15
        db 'c','`','f','{','r','\\','t','7'     ; 16-23
        db 'h',' ','b','6','g','5','v','4'      ; 24-31
        db 'n','8','z','+','u','0','j','>'      ; 32-39
        db 'l','-','k','.','m','9','i',','      ; 40-47
        db '@','*','p','\\','o',0x1B,0,13       ; 48-55
        db 0,8,'[',']','_',0x04,'^',9           ; 56-63
keys_shift:
        db 'Y','^','S',0,'E',0,'W',0
        db 'D','#','X','"','Q','!','A',0x18
        db 'C','~','F','}','R','|','T','/'
        db 'H',' ','B','&','G','%','V','$'
        db 'N','(','Z','?','U','=','J','<'
        db 'L','_','K',':','M',')','I',';'
        db '`',0x27,'P','|','O',0x1B,0,13
        db 0,0x7F,'{','}','~',0x04,'^',9

; ---------------------------------------------------------------- other devices

list:   ld a,c
        out (PORT_PRINTER),a
        ret

listst: ld a,0xFF
        ret

punch:  ret

reader: ld a,0x1A
        ret

; ---------------------------------------------------------------- disks

home:   ld a,(hstwrt)
        or a
        jr nz,home_keep
        ld (hstact),a
home_keep:
        ld bc,0
settrk: ld (sektrk),bc
        ret

setsec: ld a,c
        ld (seksec),a
        ret

setdma: ld (dmaadr),bc
        ret

sectran:
        ld h,b
        ld l,c
        ret

seldsk: ld hl,0
        ld a,c
        cp NDISKS
        ret nc
        ld (sekdsk),a
        bit 0,e
        call z,detect_format
        ld hl,DPH_RAM
        ret

; Picks the parameter block for the disk in the drive. A formatting program
; leaves 'G', tracks per side and sectors per track in the last three bytes
; of the boot sector; without them the sectors per track are probed (sector
; 9 of track 0 exists on 9-sector disks only) and 40 tracks are assumed,
; which is safe on every disk.
detect_format:
        call flush
        xor a
        ld (hstact),a
        ld de,0x0001
        ld hl,HSTBUF
        call disk_read
        ld c,0                      ; bit 0: 9 sectors, bit 1: 80 tracks
        jr c,df_set
        ld a,(HSTBUF+0x1FD)
        cp 'G'
        jr nz,df_probe
        ld a,(HSTBUF+0x1FE)
        cp 40
        jr z,df_tag_spt
        cp 80
        jr nz,df_probe
        set 1,c
df_tag_spt:
        ld a,(HSTBUF+0x1FF)
        cp 8
        jr z,df_set
        cp 9
        jr nz,df_probe_c
        set 0,c
        jr df_set
df_probe_c:
        ld c,0
df_probe:
        ld de,0x0009
        ld hl,HSTBUF
        push bc
        call fdc_read_sector
        pop bc
        jr c,df_set
        set 0,c
df_set: xor a
        ld (hstact),a
        ld a,c
        add a,a
        ld e,a
        ld d,0
        ld hl,dpb_table
        add hl,de
        ld a,(hl)
        inc hl
        ld h,(hl)
        ld l,a
        ld (DPH_RAM+10),hl
        ret

read:   call fetch_host
        jr c,rw_fail
        call rec_addr
        ld de,(dmaadr)
        ld bc,128
        ldir
        xor a
        ret

rw_fail:
        ld a,1
        ret

; C = 0 normal, 1 directory (written through at once), 2 new block.
write:  push bc
        call fetch_host
        pop bc
        jr c,rw_fail
        push bc
        call rec_addr
        ex de,hl
        ld hl,(dmaadr)
        ld bc,128
        ldir
        ld a,1
        ld (hstwrt),a
        pop bc
        ld a,c
        cp 1
        jr nz,write_done
        call flush
        jr c,rw_fail
write_done:
        xor a
        ret

; HL = the record's place in HSTBUF.
rec_addr:
        ld a,(seksec)
        and 3
        ld h,a
        ld l,0
        srl h
        rr l
        ld de,HSTBUF
        add hl,de
        ret

; Brings the physical sector holding the requested record into HSTBUF.
fetch_host:
        ld a,(seksec)
        srl a
        srl a
        inc a
        ld e,a
        ld a,(sektrk)
        ld d,a
        ld a,(hstact)
        or a
        jr z,fh_load
        ld a,(sekdsk)
        ld hl,hstdsk
        cp (hl)
        jr nz,fh_load
        ld a,(hsttrk)
        cp d
        jr nz,fh_load
        ld a,(hstsec)
        cp e
        ret z
fh_load:
        push de
        call flush
        pop de
        ret c
        xor a
        ld (hstact),a
        ld a,(sekdsk)
        ld (hstdsk),a
        ld a,d
        ld (hsttrk),a
        ld a,e
        ld (hstsec),a
        ld hl,HSTBUF
        call disk_read
        ret c
        ld a,1
        ld (hstact),a
        or a
        ret

; Writes HSTBUF back if it holds changes. Carry on failure.
flush:  ld a,(hstwrt)
        or a
        ret z
        xor a
        ld (hstwrt),a
        ld a,(hsttrk)
        ld d,a
        ld a,(hstsec)
        ld e,a
        ld hl,HSTBUF
        jp disk_write

; Sector transfer with one more try after recalibrating. The transfer
; routine comes in IX, which nothing else here uses.
disk_read:
        ld ix,fdc_read_sector
        jr disk_transfer
disk_write:
        ld ix,fdc_write_sector
disk_transfer:
        push hl
        push de
        call call_ix
        pop de
        pop hl
        ret nc
        push hl
        push de
        call fdc_restore
        pop de
        pop hl
        ret c
call_ix:
        jp (ix)

        include 'cpm_fdc.inc'

; Disk parameter blocks: 512-byte sectors of side 0, 2 KB blocks, two
; system tracks (boot sector, CCP and BDOS). Order: by bit 0 = 9 sectors
; per track, bit 1 = 80 tracks.
dpb_table:
        dw dpb_8_40, dpb_9_40, dpb_8_80, dpb_9_80
;               SPT  BSH BLM EXM DSM  DRM  AL0  AL1 CKS OFF
dpb_8_40:  dw 32
           db 4, 15, 1
           dw 75, 63
           db 0x80, 0
           dw 16, 2
dpb_9_40:  dw 36
           db 4, 15, 1
           dw 84, 63
           db 0x80, 0
           dw 16, 2
dpb_8_80:  dw 32
           db 4, 15, 1
           dw 155, 127
           db 0xC0, 0
           dw 32, 2
dpb_9_80:  dw 36
           db 4, 15, 1
           dw 174, 127
           db 0xC0, 0
           dw 32, 2

dph_template:
        dw 0, 0, 0, 0, DIRBUF, dpb_8_40, CSV_A, ALV_A

msg_signon:
        db "Primo CP/M 2.2, 51K",13,10,0
msg_loaderr:
        db 13,10,"Cannot load CP/M - press a key",13,10,0
msg_nobank:
        db "Turn on RAM bank, then restart",0

        ds 0xE800-$,0xFF
