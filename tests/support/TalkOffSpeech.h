#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <set>
#include <span>
#include <string>
#include <vector>

// The speech of the tone talk-off tests: short messages in several languages, each read in
// one or two voices, at 8000 Hz 16-bit little-endian mono. Each reading is spoken once per
// test program and kept, so every talk-off of a program listens to the same speech.
namespace talkoff {

constexpr int kRate = 8000;

struct Reading {
    const char* voice;  // espeak-ng voice with its variant
    int wordsPerMinute;
    int pitch;
    double gain;  // espeak-ng peaks near -4 dBFS: from clipping loud to quiet
    const char* const* texts;
    std::size_t count;
};

// The voices, in the order they take turns.
const std::vector<Reading>& Readings();

struct Spoken {
    const Reading* reading;
    std::vector<unsigned char> pcm;
};

// Reading n: round n / Readings().size(), in which voice r = n % Readings().size() reads
// its text (round + r) % count, so every voice is heard whatever length the texts come out
// at. nullptr when espeak-ng or sox is missing or failed, with the reason in failure.
const Spoken* SpokenReading(std::size_t n, std::string& failure);

// Ten minutes of the readings with a short burst of genuine DTMF keys in the pause after
// each: 300 ms of quiet, three keys walking through the grid at 60 ms on / 60 ms off, at
// -10 to -22 dBFS (2 dB twist), and 300 ms of quiet.
struct SpeechWithKeys {
    struct Piece {
        std::int64_t start;  // sample position in the whole recording
        std::string label;   // the voice, or "keys" and the keys
        bool keys;
        std::span<const unsigned char> pcm;
    };
    std::string skipReason;
    double seconds = 0.0;
    std::string keysSent;
    std::vector<Piece> pieces;
    std::set<std::string> languages;
    std::deque<std::vector<unsigned char>> bursts;  // the keys' audio, which pieces point into

    // The piece a position falls in; nullptr before the first.
    const Piece* PieceAt(std::int64_t position) const;
};

const SpeechWithKeys& SpeechAndKeys();

}  // namespace talkoff
