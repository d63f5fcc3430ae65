#pragma once

#include <cstdint>

// Detector switches, one bit each. Several switches may share one detector: the caller-ID
// decoder serves DEC_CALLERID, DEC_CIDCW and DEC_VMWI; the spectrum detector serves
// DEC_CUSTOMTONE and DEC_SPECTRUM.
enum DEC_FLAG : std::int32_t {
    DEC_DTMF = 1,
    DEC_CALLERID = 2,
    DEC_TTY = 4,
    DEC_CUSTOMTONE = 8,
    DEC_SPECTRUM = 16,
    DEC_MONITORTONES = 32,
    DEC_MF = 128,
    DEC_TONEPAGING = 256,
    DEC_SAME = 512,
    DEC_CIDCW = 1024,
    DEC_VMWI = 2048,
    DEC_SIT = 4096,
    DEC_FSK = 8192,
};
