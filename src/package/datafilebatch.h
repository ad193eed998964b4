#pragma once

#include <QStringList>

// The data files of a run, written as closed "<path>.part" files without a sync of their own
// (a sync waits for the disk each time: thousands of them took longer than compressing). They
// take their names together, after one sync of them all, so that a data file under its own name
// is always on the disk, as "info.bin" requires of every file it names. Parts not committed are
// removed with the batch.
class DataFileBatch
{
public:
    DataFileBatch() = default;
    ~DataFileBatch();
    DataFileBatch(const DataFileBatch &) = delete;
    DataFileBatch &operator=(const DataFileBatch &) = delete;

    // A data file whose part is complete.
    void add(const QString &path);
    // Syncs every part, then gives each its name. On failure *error is the builder's failure
    // line; after a failed sync every part is removed, what was not renamed otherwise with the
    // batch.
    bool commit(QString *error);

private:
    void discard();

    QStringList paths;
};
