// Text brought from files: UTF-8, or the older system's code page 1251 when it is not valid UTF-8.
#pragma once

#include <QByteArrayView>
#include <QString>

namespace TextCodec {

QString decode(QByteArrayView bytes);
QString decodeCp1251(QByteArrayView bytes);

} // namespace TextCodec
