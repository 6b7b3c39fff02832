#include "core/production/qrcode.h"

#include <qrencode.h>

#include <QPainter>
#include <memory>

#include "core/data/errors.h"

namespace hx {

QrCode QrCode::encode(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    // Version 0: the smallest symbol that holds the text; the library picks numeric mode for digits.
    std::unique_ptr<QRcode, decltype(&QRcode_free)> made(
        QRcode_encodeString(utf8.constData(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), &QRcode_free);
    if (!made) throw Error(QStringLiteral("无法生成二维码：内容太长（%1 字节）。").arg(utf8.size()));
    QrCode code;
    code.m_size = made->width;
    code.m_modules.resize(std::size_t(made->width) * std::size_t(made->width));
    for (std::size_t i = 0; i < code.m_modules.size(); ++i) code.m_modules[i] = (made->data[i] & 1) != 0;
    return code;
}

QImage QrCode::image(int moduleSize, int quietZone) const {
    if (moduleSize < 1 || quietZone < 0) throw Error(QStringLiteral("二维码的模块大小不对。"));
    const int side = (m_size + 2 * quietZone) * moduleSize;
    QImage picture(side, side, QImage::Format_Mono);
    picture.setColor(0, qRgb(255, 255, 255));
    picture.setColor(1, qRgb(0, 0, 0));
    picture.fill(0);
    for (int y = 0; y < m_size; ++y)
        for (int x = 0; x < m_size; ++x) {
            if (!isDark(x, y)) continue;
            const int left = (x + quietZone) * moduleSize;
            const int top = (y + quietZone) * moduleSize;
            for (int py = top; py < top + moduleSize; ++py)
                for (int px = left; px < left + moduleSize; ++px) picture.setPixel(px, py, 1);
        }
    return picture;
}

}  // namespace hx
