#pragma once

#include <QImage>
#include <QString>
#include <vector>

namespace hx {

// A QR code: a square of dark and light modules that a reader decodes to the text it was made from.
class QrCode {
  public:
    // The code of `text` (as UTF-8) with error correction level M, which survives a smudged or creased
    // ticket; raises Error when the text is too long for any QR code.
    static QrCode encode(const QString& text);

    // Modules per side.
    int size() const { return m_size; }
    bool isDark(int x, int y) const {
        return m_modules[std::size_t(y) * std::size_t(m_size) + std::size_t(x)];
    }

    // The code as a black and white image: each module `moduleSize` pixels square, with the blank border
    // of `quietZone` modules on every side that readers need.
    QImage image(int moduleSize, int quietZone = 4) const;

  private:
    int m_size = 0;
    std::vector<bool> m_modules;
};

}  // namespace hx
