; Primo CP/M 2.2 BIOS, 2 KB at 0xE000 in the write-protected area.
; Console: 32 x 24 characters on display page 0 and the keyboard matrix;
; list device: the printer port; disks A:-D: through the WD1793, 512-byte
; sectors blocked into CP/M's 128-byte records. All variables live in RAM
; at VARS (see cpm_layout.inc); the glyphs are copied from the boot ROM at
; cold start, while bank 0 is still selected.

        include 'cpm_layout.inc'

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
dgeom:          equ VARS+19         ; 4 bytes, per drive: bit 0 9 sectors, bit 1 80 tracks, bit 2 two sides
VARS_SIZE:      equ 23

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
        ld hl,DPH_RAM               ; headers, drive latch and variables
        ld de,DPH_RAM+1
        ld bc,VARS+VARS_SIZE-DPH_RAM-1
        ld (hl),0
        ldir
        ld a,0xFF
        ld (lastkey),a
; Each header gets the directory buffer and its drive's check and allocation
; vectors; the parameter block follows at login.
        ld hl,DPH_RAM+8
        ld c,0
dh_next:
        ld (hl),DIRBUF & 0xFF
        inc hl
        ld (hl),DIRBUF >> 8
        inc hl
        inc hl
        inc hl
        ld (hl),c
        inc hl
        ld (hl),CSV_RAM >> 8
        inc hl
        ld (hl),c
        inc hl
        ld (hl),ALV_RAM >> 8
        ld de,9
        add hl,de
        ld a,c
        add a,64
        ld c,a
        jr nc,dh_next
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
        ld a,(4)                    ; back to A: from a drive without a disk
        and 0x0F
        cp NDISKS
        jr nc,go_reset
        ld (FDC_SEL),a
        call fdc_ready
        sbc a,a                     ; 0xFF: no disk
        push af
        call fdc_motor_off
        pop af
        or a
        jr z,go_drive
go_reset:
        xor a
        ld (4),a
go_drive:
        ld a,(4)
        ld c,a
        jp CCP

; CCP and BDOS follow the boot sector: track 0 from sector 2, then the next
; CP/M track (the other side of a two-sided disk).
load_system:
        xor a
        ld (sekdsk),a
        call detect_format
        jr c,ls_fail
        ld hl,CCP
        ld de,0x0002
        ld b,SYS_SECTORS
ls_next:
        push bc
        ld a,(dgeom)
        and 1
        add a,8                     ; sectors per track of A:
        cp e
        jr nc,ls_read
        inc d
        ld e,1
ls_read:
        xor a
        call disk_read
        pop bc
        jr c,ls_fail
        inc h
        inc h
        inc e
        djnz ls_next
        jp fdc_motor_off            ; clears carry
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

; A drive without a disk cannot be selected.
seldsk: ld hl,0
        ld a,c
        cp NDISKS
        ret nc
        ld (sekdsk),a
        bit 0,e
        jr nz,sd_known
        call detect_format
        ld hl,0
        ret c
sd_known:
        ld a,(sekdsk)
; HL = disk parameter header of drive A.
dph_addr:
        add a,a
        add a,a
        add a,a
        add a,a
        add a,DPH_RAM & 0xFF
        ld l,a
        ld h,DPH_RAM >> 8
        ret

; HL = geometry byte of drive A.
geom_of:
        add a,dgeom & 0xFF
        ld l,a
        ld h,dgeom >> 8
        ret

; Picks the parameter block for the disk in drive sekdsk; carry when the
; drive holds no readable disk. A formatting program leaves 'G', tracks per
; side and sectors per track in the last three bytes of the boot sector;
; without them the sectors per track are probed (sector 9 of track 0 exists
; on 9-sector disks only) and 40 tracks are assumed, which is safe on every
; disk. A disk that has side 1 is two-sided, 80 tracks.
detect_format:
        call flush
        xor a
        ld (hstact),a
        ld c,a                      ; bit 0: 9 sectors, bit 1: 80 tracks, bit 2: two sides
        call df_geom                ; one side while probing
        ld de,0x0001
        call df_read
        ret c
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
        jr z,df_sides
        cp 9
        jr nz,df_probe_c
        set 0,c
        jr df_sides
df_probe_c:
        ld c,0
df_probe:
        ld de,0x0009
        call df_read
        jr c,df_sides
        set 0,c
df_sides:
        push bc
        ld c,4
        call df_geom
        ld de,0x0101                ; CP/M track 1 is side 1 of cylinder 0
        call df_read
        pop bc
        jr c,df_set
        ld a,c
        or 6
        ld c,a
df_set: call df_geom
        xor a
        ld (hstact),a
        ld a,c
        add a,a
        ld e,a
        ld d,0
        ld hl,dpb_table
        add hl,de
        ld e,(hl)
        inc hl
        ld d,(hl)
        ld a,(sekdsk)
        call dph_addr
        ld bc,10
        add hl,bc
        ld (hl),e
        inc hl
        ld (hl),d
        or a
        ret

df_geom:
        ld a,(sekdsk)
        call geom_of
        ld (hl),c
        ret

; One try at sector E of CP/M track D of drive sekdsk into HSTBUF.
df_read:
        push bc
        ld a,(sekdsk)
        ld hl,HSTBUF
        call xlat
        call fdc_read_sector
        pop bc
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
        ld a,(sekdsk)
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
        ld a,(hstdsk)
        jp disk_write

; The drive latch for drive A and CP/M track D; D becomes the cylinder.
; On a two-sided disk CP/M tracks alternate between the sides.
xlat:   push hl
        ld b,a
        call geom_of
        ld a,b
        bit 2,(hl)
        jr z,xl_set
        srl d
        jr nc,xl_set
        or FDC_SIDE1
xl_set: ld (FDC_SEL),a
        pop hl
        ret

; Sector E of CP/M track D of drive A to or from (HL), with one more try
; after recalibrating; HL and DE are kept. The transfer routine comes in
; IX, which nothing else here uses.
disk_read:
        ld ix,fdc_read_sector
        jr disk_transfer
disk_write:
        ld ix,fdc_write_sector
disk_transfer:
        push hl
        push de
        call xlat
        push hl
        push de
        call call_ix
        pop de
        pop hl
        jr nc,dt_done
        push hl
        push de
        call fdc_restore
        pop de
        pop hl
        call nc,call_ix
dt_done:
        pop de
        pop hl
        ret
call_ix:
        jp (ix)

        include 'cpm_fdc.inc'

; Disk parameter blocks: 512-byte sectors, 2 KB blocks, two system tracks
; (boot sector, CCP and BDOS); on two-sided disks CP/M tracks alternate
; between the sides. Order: by the geometry byte (bit 0 = 9 sectors per
; track, bit 1 = 80 tracks, bit 2 = two sides, which are always 80 tracks).
dpb_table:
        dw dpb_8_40, dpb_9_40, dpb_8_80, dpb_9_80
        dw dpb_8_160, dpb_9_160, dpb_8_160, dpb_9_160
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
dpb_8_160: dw 32
           db 4, 15, 0
           dw 315, 255
           db 0xF0, 0
           dw 64, 2
dpb_9_160: dw 36
           db 4, 15, 0
           dw 354, 255
           db 0xF0, 0
           dw 64, 2

msg_signon:
        db "Primo CP/M 2.2, 51K",13,10,0
msg_loaderr:
        db 13,10,"Cannot load CP/M - press a key",13,10,0
msg_nobank:
        db "Turn on RAM bank, then restart",0

        ds 0xE800-$,0xFF
