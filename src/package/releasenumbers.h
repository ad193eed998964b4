#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// The highest release number installed from each year's signed releases, kept by the updater
// in its own folder, so that an older release, however well signed, is not installed over a
// newer one. One "<year> <number>" line per year.
using ReleaseNumbers = QMap<int, quint64>;

// A missing file is no record yet. A damaged line is skipped: the record only ever refuses
// releases, and a torn file must not stop every update for good.
ReleaseNumbers readReleaseNumbers(const QString &path);
QByteArray releaseNumbersText(const ReleaseNumbers &numbers);
