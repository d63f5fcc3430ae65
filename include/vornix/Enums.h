#pragma once

#include <cstdint>

namespace Orvane::VornixNet {

enum CHANNEL_OPT : std::int32_t { LEFT_CHANNEL = 0, RIGHT_CHANNEL = 1 };

enum TTY_RATE : std::int32_t {
    BR_45_45_Baud = 0,
    BR_50_Baud = 1,
    BR_56_92_Baud = 2,
    BR_74_20_Baud = 3,
    BR_100_Baud = 4,
    BR_110_Baud = 5,
    BR_1200_BPS = 6,
};

enum TTY_MODE : std::int32_t { Baudot_Mode = 0, ASCII7_Mode = 1, ASCII8_Mode = 2 };

// DTMF detection: the detector exactly as designed (the default), or with the tests a
// telephone receiver is usually held to (frequency within 2.5 %, 40 ms keys in any
// alignment, no false keys from speech, offsets and tone pairs with 1100 Hz).
enum DTMF_PROFILE : std::int32_t { DTMF_PROFILE_EXACT = 0, DTMF_PROFILE_ROBUST = 1 };
// Analysis blocks of the tone monitor and of the MF, paging and information-tone detectors:
// 64 to 192 samples at every rate as designed (the default), or the same durations as at
// 8 kHz at every rate, so 44.1 and 48 kHz resolve the tones as 8 kHz does.
enum TONE_BLOCK_LAYOUT : std::int32_t { TONE_BLOCKS_EXACT = 0, TONE_BLOCKS_RATE_SCALED = 1 };
enum PAGING_TYPE : std::int32_t { PT_EIA = 0, PT_CCIR = 1, PT_ZVEI1 = 2, PT_ZVEI2 = 3, PT_ZVEI3 = 4, PT_PZVEI = 5, PT_EEA = 6 };

enum FFT_WINDOW_TYPE : std::int32_t {
    WINDOW_RECTANGLE = 0,
    WINDOW_HAMMING = 1,
    WINDOW_BLACKMAN = 2,
    WINDOW_TRIANGLE = 3,
    WINDOW_HANNING = 4,
    NO_WINDOW = 5,
};

enum FSK_LEVEL : std::int32_t { FSK_SPACE = 0, FSK_MARK = 1 };

enum STOPBITS_TYPE : std::int32_t { STOPBIT_NO = 0, STOPBIT_ONE = 1, STOPBITS_ONE5 = 2, STOPBITS_TWO = 3 };

enum PARITY_TYPE : std::int32_t { PARITY_NO = 0, PARITY_ODD_ = 1, PARITY_EVEN_ = 2, PARITY_MARK_ = 3, PARITY_SPACE_ = 4 };

enum SAME_STATUS : std::int32_t {
    SAME_UNKNOWN = 0,
    SAME_TEXT1 = 1,
    SAME_TEXT2 = 2,
    SAME_TEXT3 = 3,
    SAME_WARN_ALARM = 4,
    SAME_VOICE_MSG = 5,
    SAME_NNNN_1 = 6,
    SAME_NNNN_2 = 7,
    SAME_NNNN_3 = 8,
};

enum SIT_TYPE : std::int32_t { SIT_RO = 0, SIT_VC = 1, SIT_NC = 2, SIT_IC = 3, SIT_RO2 = 4, SIT_NC2 = 5, SIT_IO = 6 };

enum CID_STATUS : std::int32_t { CID_STATUS_UNKNOWN = 0, CID_STATUS_OK = 1, CID_STATUS_BAD_CHECKSUM = 2 };

enum VMWI_STATUS : std::int32_t { VMWI_OFF = 0, VMWI_ON = 1, VMWI_UNKNOWN = 2 };

// Stream formats a host can pick by number: PCM at nine rates, then the compressed
// formats the codec layer converts; WF_USER_DEFINED stands for a format given by its
// hexadecimal identifier.
enum WAVE_FORMAT_INDEX : std::int32_t {
    PCM_8kHz8BitMono = 0, PCM_8kHz8BitStereo, PCM_8kHz16BitMono, PCM_8kHz16BitStereo,
    PCM_11kHz8BitMono, PCM_11kHz8BitStereo, PCM_11kHz16BitMono, PCM_11kHz16BitStereo,
    PCM_12kHz8BitMono, PCM_12kHz8BitStereo, PCM_12kHz16BitMono, PCM_12kHz16BitStereo,
    PCM_16kHz8BitMono, PCM_16kHz8BitStereo, PCM_16kHz16BitMono, PCM_16kHz16BitStereo,
    PCM_22kHz8BitMono, PCM_22kHz8BitStereo, PCM_22kHz16BitMono, PCM_22kHz16BitStereo,
    PCM_24kHz8BitMono, PCM_24kHz8BitStereo, PCM_24kHz16BitMono, PCM_24kHz16BitStereo,
    PCM_32kHz8BitMono, PCM_32kHz8BitStereo, PCM_32kHz16BitMono, PCM_32kHz16BitStereo,
    PCM_44kHz8BitMono, PCM_44kHz8BitStereo, PCM_44kHz16BitMono, PCM_44kHz16BitStereo,
    PCM_48kHz8BitMono, PCM_48kHz8BitStereo, PCM_48kHz16BitMono, PCM_48kHz16BitStereo,
    TrueSpeech_8kHz1BitMono = 36,
    CCITT_ALaw_8kHzMono = 37, CCITT_ALaw_8kHzStereo, CCITT_ALaw_11kHzMono, CCITT_ALaw_11kHzStereo,
    CCITT_ALaw_22kHzMono, CCITT_ALaw_22kHzStereo, CCITT_ALaw_44kHzMono, CCITT_ALaw_44kHzStereo,
    CCITT_uLaw_8kHzMono = 45, CCITT_uLaw_8kHzStereo, CCITT_uLaw_11kHzMono, CCITT_uLaw_11kHzStereo,
    CCITT_uLaw_22kHzMono, CCITT_uLaw_22kHzStereo, CCITT_uLaw_44kHzMono, CCITT_uLaw_44kHzStereo,
    ADPCM_8kHzMono = 53, ADPCM_8kHzStereo, ADPCM_11kHzMono, ADPCM_11kHzStereo,
    ADPCM_22kHzMono, ADPCM_22kHzStereo, ADPCM_44kHzMono, ADPCM_44kHzStereo,
    GSM610_8kHzMono = 61, GSM610_11kHzMono, GSM610_22kHzMono, GSM610_44kHzMono,
    WF_USER_DEFINED = 65,
};

static_assert(PCM_48kHz16BitStereo == 35 && CCITT_ALaw_44kHzStereo == 44 && ADPCM_44kHzStereo == 60 &&
              GSM610_44kHzMono == 64);

}  // namespace Orvane::VornixNet
