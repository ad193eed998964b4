#pragma once

#include <QFuture>
#include <QPair>
#include <QString>
#include <QThreadPool>
#include <QVector>

// How an installed file compares with a file entry's content. Only a regular file is read: a
// link, a pipe or a device at a file's place is not what the release put there (and may never
// end), so it counts as differing and is replaced.
enum class LocalFile { Missing, Current, Differs, Folder, Unreadable };

// *error holds the system's reason for Unreadable.
LocalFile compareLocalFile(const QString &fullPath, const QString &sha256, QString *error);

// The comparisons of one group's installed files, made ahead on every core while the check
// takes them in order: hashing is most of a check's work, and one core leaves the rest idle.
class LocalComparisons
{
public:
    struct Result
    {
        LocalFile state = LocalFile::Missing;
        QString error;
    };

    // One (full path, hash name) per file index; an empty path is not compared.
    explicit LocalComparisons(QVector<QPair<QString, QString>> files);
    ~LocalComparisons();
    LocalComparisons(const LocalComparisons &) = delete;
    LocalComparisons &operator=(const LocalComparisons &) = delete;

    // Waits for the comparison of that file.
    Result take(int index);

private:
    void submitUpTo(int index);

    QVector<QPair<QString, QString>> files;
    QVector<QFuture<Result>> results;
    QThreadPool pool;
    int submitted = 0;
};
