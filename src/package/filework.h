#pragma once

#include <QByteArray>
#include <QString>

class DataFileClaims;

// One source file, as the builder hands it to a worker thread.
struct FileJob
{
    QString path;
    qint64 size = 0; // as the walk found it
    QString targetDir; // the package directory, ending in "/"
    DataFileClaims *claims = nullptr; // shared by the run's files
};

// What a worker makes of one source file: its hash name and the payload of its data file, taken
// from an existing data file that holds this content, from the run's first file with the same
// content, or newly compressed and written as a part for the run's DataFileBatch.
struct FileWork
{
    bool ok = false;
    QString error; // the builder's failure line
    QString hashName;
    qint64 size = 0;
    // Held for content up to a block and for a large one whose existing data file was read
    // whole; empty otherwise.
    QByteArray payload;
    QString payloadPath; // the file that holds the payload: the data file or its part
    QString writtenDataFile; // the data file whose part this file wrote
};

// Reads and hashes the file and provides its payload. Content up to a block is read once and
// held; larger content is read in blocks, once to hash it and, when no data file holds it yet,
// again to compress it on every core, so that memory stays bounded by a few blocks.
FileWork hashAndCompress(const FileJob &job);
