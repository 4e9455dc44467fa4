; SUBMIT [d:]NAME [parameters]: runs the command lines of NAME.SUB as a
; batch. Each line, with $1-$9 replaced by the parameters after the name
; ($$ is a dollar sign, ^x the control character x), becomes one 128-byte
; record of A:$$$.SUB: length, text, 0. The records are written last line
; first, because the command processor takes the last record at each
; prompt. The batch starts at the warm start that ends the program.

BDOS:           equ 0x0005
REBOOT:         equ 0x0000
FCB:            equ 0x005C
TBUFF:          equ 0x0080
MAX_LINES:      equ 128             ; what one extent of $$$.SUB holds
MAX_TEXT:       equ 126             ; a record: the length, the text and a 0
PARAMS:         equ 9

        org 0x0100
        ld hl,image_end             ; the variables after the image start at 0
        ld de,image_end+1
        ld bc,records-image_end-1
        ld (hl),0
        ldir
        ld sp,stack
        call get_params
        ld hl,FCB+9
        ld (hl),'S'
        inc hl
        ld (hl),'U'
        inc hl
        ld (hl),'B'
        xor a
        ld (FCB+12),a
        ld (FCB+32),a
        ld de,FCB
        ld c,15
        call BDOS
        inc a
        ld de,msg_nosub
        jp z,fail

new_line:
        ld hl,lineno
        inc (hl)
        ld hl,(recptr)
        ld b,128
nl_clear:
        ld (hl),0
        inc hl
        djnz nl_clear
next_char:
        call getc
        ld hl,after_cr
        ld b,(hl)
        ld (hl),0
        cp 10
        jr nz,nc_cr
        djnz end_line               ; a line feed after a return belongs to it
        jr next_char
nc_cr:  cp 13
        jr nz,nc_text
        ld (hl),1
        jr end_line
nc_text:
        cp 0x1A
        jr z,at_end
        cp '$'
        jr z,dollar
        cp '^'
        jr z,control
put_next:
        call putch
        jr next_char

end_line:
        call add_line
        jr new_line
at_end: ld hl,(recptr)
        ld a,(hl)
        or a
        call nz,add_line
        jp write_batch

; $$ or a parameter; one that was not given is left out.
dollar: call getc
        cp '$'
        jr z,put_next
        sub '1'
        cp PARAMS
        ld de,msg_param
        jp nc,line_fail
        add a,a
        ld l,a
        ld h,0
        ld de,params
        add hl,de
        ld a,(hl)
        inc hl
        ld h,(hl)
        ld l,a
        or h
        jr z,next_char
dl_copy:
        ld a,(hl)
        or a
        jr z,next_char
        push hl
        call putch
        pop hl
        inc hl
        jr dl_copy

; ^A-^Z (small letters too) and ^[ ^\ ^] ^^ ^_.
control:
        call getc
        cp 'a'
        jr c,ct_code
        cp 'z'+1
        jr nc,ct_code
        sub 0x20
ct_code:
        sub '@'
        jr z,ct_bad
        cp 0x20
        jr c,put_next
ct_bad: ld de,msg_control
        jp line_fail

; Adds A to the line of the current record.
putch:  ld hl,(recptr)
        ld e,a
        ld a,(hl)
        cp MAX_TEXT
        ld a,e
        ld de,msg_long
        jp nc,line_fail
        inc (hl)
        ld e,(hl)
        ld d,0
        add hl,de
        ld (hl),a
        ret

; The current record holds a whole line: the next one is started.
add_line:
        ld hl,lines
        ld a,(hl)
        cp MAX_LINES
        ld de,msg_full
        jr nc,line_fail
        inc (hl)
        ld hl,(recptr)
        ld de,128
        add hl,de
        ld (recptr),hl
        ret

; The next byte of NAME.SUB; 0x1A after its last record.
getc:   ld a,(inpos)
        cp 128
        jr c,gc_byte
        ld de,FCB
        ld c,20
        call BDOS
        or a
        ld a,0x1A
        ret nz
        xor a
gc_byte:
        ld l,a
        inc a
        ld (inpos),a
        ld h,0
        ld de,TBUFF
        add hl,de
        ld a,(hl)
        ret

; A new A:$$$.SUB with the records from the last line back to the first.
write_batch:
        ld de,subfcb
        ld c,19
        call BDOS
        ld de,subfcb
        ld c,22
        call BDOS
        inc a
        ld de,msg_dirfull
        jr z,fail
        ld hl,(recptr)
wb_next:
        ld de,records
        or a
        sbc hl,de
        jr z,wb_close
        add hl,de
        ld de,-128
        add hl,de
        push hl
        ex de,hl
        ld c,26
        call BDOS
        ld de,subfcb
        ld c,21
        call BDOS
        pop hl
        or a
        ld de,msg_write
        jr nz,fail
        jr wb_next
wb_close:
        ld de,subfcb
        ld c,16
        call BDOS
        inc a
        ld de,msg_close
        jr z,fail
        jp REBOOT

; "Error On Line n: " and the message at DE; nothing is written.
line_fail:
        push de
        ld de,msg_line
        call print_crlf
        ld a,(lineno)
        ld b,100
        ld c,'0'
        call put_digit
        ld b,10
        call put_digit
        add a,'0'
        call put_char
        ld de,msg_colon
        ld c,9
        call BDOS
        pop de
        jr fail_text
fail:   call print_crlf
        jp REBOOT
fail_text:
        ld c,9
        call BDOS
        jp REBOOT

; A new line and the '$'-ended text at DE.
print_crlf:
        push de
        ld de,msg_crlf
        ld c,9
        call BDOS
        pop de
        ld c,9
        jp BDOS

; The digit of A for the power of ten in B, left out while C is '0' and
; it is 0 (no leading zeros); A keeps the rest.
put_digit:
        ld e,'0'
pd_count:
        cp b
        jr c,pd_digit
        sub b
        inc e
        jr pd_count
pd_digit:
        push af
        ld a,e
        cp c
        jr z,pd_none
        ld c,0
        call put_char
pd_none:
        pop af
        ret

put_char:
        push bc
        ld e,a
        ld c,2
        call BDOS
        pop bc
        ret

; Copies the command tail and notes where each word after the name starts;
; the words end with a 0.
get_params:
        ld hl,TBUFF
        ld a,(hl)
        inc hl
        ld de,tail
        or a
        jr z,gp_copied
        ld c,a
        ld b,0
        ldir
gp_copied:
        xor a
        ld (de),a
        ld hl,tail
        ld de,params-2              ; the name's word is not kept
        ld b,PARAMS+1
gp_word:
        ld a,(hl)
        cp ' '
        jr nz,gp_start
        inc hl
        jr gp_word
gp_start:
        or a
        ret z
        ex de,hl
        ld (hl),e
        inc hl
        ld (hl),d
        inc hl
        ex de,hl
gp_char:
        inc hl
        ld a,(hl)
        or a
        ret z
        cp ' '
        jr nz,gp_char
        ld (hl),0
        inc hl
        djnz gp_word
        ret

msg_nosub:
        db "No 'SUB' File Present$"
msg_line:
        db "Error On Line $"
msg_colon:
        db ": $"
msg_param:
        db "Parameter Error$"
msg_control:
        db "Invalid Control Character$"
msg_long:
        db "Command Too Long$"
msg_full:
        db "Command Buffer Overflow$"
msg_dirfull:
        db "Directory Full$"
msg_write:
        db "Disk Write Error$"
msg_close:
        db "Cannot Close, Read/Only?$"
msg_crlf:
        db 13, 10, "$"

subfcb: db 1                        ; A:$$$.SUB
        db "$$$     SUB"
        ds 24, 0
recptr: dw records
inpos:  db 128                      ; the first getc reads a record
image_end:

; Cleared at the start, not part of the file.
after_cr:       equ image_end       ; 1: the last byte was a return
lineno:         equ after_cr + 1
lines:          equ lineno + 1
name_word:      equ lines + 1       ; get_params's store for the name
params:         equ name_word + 2   ; where $1-$9 start, 0 when not given
tail:           equ params + 2 * PARAMS
stack:          equ tail + 128 + 64
records:        equ stack           ; the lines, 128 bytes each
