// PTP tape images turned into WAV recordings of the Primo's tape signal, so
// that a program can be loaded by a signal-level loader.
//
// Signal: each bit is a high then a low half wave, 312 us each for a 1 and
// 936 us each for a 0, most significant bit first. Each program on the tape
// gets 0.25 s of silence (at the midline) and a leader of 512 bytes 0xAA;
// each block 96 bytes 0xFF and three bytes 0xD3, then its content bytes
// exactly as the PTP file holds them (type byte first), then one byte 0xFF
// whose first rising edge closes the content's last cycle. The PTP markers
// and lengths are not on tape. The recording ends with 0.25 s of silence.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr int PTPWAV_RATE = 44100;
constexpr uint8_t PTPWAV_HIGH = 248;   // the levels the tape recorder writes
constexpr uint8_t PTPWAV_LOW = 8;
constexpr uint8_t PTPWAV_MID = 128;

// Converts a PTP image into unsigned 8-bit mono samples at `rate` Hz
// (8000-192000). False with the reason in *error (and no samples) when the
// image is not a well-formed PTP file or its recording would not fit a WAV
// file.
bool ptpwav_convert(const uint8_t* data, size_t size, int rate, std::vector<uint8_t>& samples, std::string* error);

// The 44-byte header of an 8-bit mono PCM WAV file holding `data_bytes`.
std::vector<uint8_t> ptpwav_header(int rate, uint32_t data_bytes);

// Reads the PTP file and writes the WAV file at 44100 Hz. False with the
// reason in *error; a failed conversion leaves any earlier file of the
// output's name as it was.
bool ptpwav_write_file(const char* ptp_path, const char* wav_path, std::string* error);
