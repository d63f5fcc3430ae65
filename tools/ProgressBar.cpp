#include "ProgressBar.h"

#include <unistd.h>

#include <algorithm>

namespace {

constexpr int kWidth = 30;

}  // namespace

bool ProgressBar::IsTerminal(int fd) {
    return isatty(fd) == 1;
}

void ProgressBar::Update(const std::string& label, std::int64_t done, std::int64_t total) {
    if (!m_enabled || total <= 0) return;
    const int percent = static_cast<int>(std::clamp<std::int64_t>(done, 0, total) * 100 / total);
    if (m_visible && percent == m_percent && label == m_label) return;
    m_percent = percent;
    m_label = label;
    const int filled = percent * kWidth / 100;
    m_out << "\r\033[K" << label << " [" << std::string(filled, '#') << std::string(kWidth - filled, '.') << "] "
          << percent << "%" << std::flush;
    m_visible = true;
}

void ProgressBar::Clear() {
    if (!m_visible) return;
    m_out << "\r\033[K" << std::flush;
    m_visible = false;
}
