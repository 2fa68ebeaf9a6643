#pragma once

// A short DV type-1 AVI for the main window's tests.
#include "support/dvfiles.h"

#include <QFile>
#include <QString>

#include <gtest/gtest.h>

namespace vidora::test {

// Writes dir/clip.avi; empty, with a test failure, when it cannot be made.
inline QString WriteDvClip(const QString &dir)
{
    const QByteArray raw = ffmpegRawDv(dir, DvClip{});
    const QString path = dir + QStringLiteral("/clip.avi");
    QFile file(path);
    if (raw.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(dvType1Avi(raw)) <= 0) {
        ADD_FAILURE() << "cannot write " << path.toStdString();
        return QString();
    }
    return path;
}

} // namespace vidora::test
