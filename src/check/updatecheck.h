#pragma once

#include "check/localfile.h"
#include "check/pendingupdate.h"
#include "common/logline.h"
#include "package/updatedocument.h"

#include <QCoreApplication>
#include <QHash>
#include <QSet>
#include <QVector>

#include <functional>

class QIODevice;

struct CheckResult
{
    enum Outcome { DuplicateType, Failed, Completed };
    Outcome outcome = Completed;
    QString duplicateType; // the type named twice, for DuplicateType
    ActivityLog log;
    int pendingCount = 0; // pending entries, files and folders
    qint64 pendingBytes = 0;
};

// A data file of the release that the check needs from the server.
struct FetchedDataFile
{
    QString fileName; // "<sha256>.bin"
    qint64 maxBytes = 0; // a reply of more is refused
    bool ok = false;
    QString error; // the downloader's text when not ok
    bool stagingFailed = false; // not ok because the temporary file could not take the body
    QByteArray data; // when ok: the compressed payload, unless it is in bodyPath
    QString bodyPath; // when ok: a file holding a large payload, which the check removes
};

// Fetches the data files, all in one go; each says how it went. As soon as a file and all
// before it have ended, arrived(index) may take it on (false: stop, the rest is not needed);
// files not handed on that way are taken after the call.
using DataFileFetch = std::function<void(QVector<FetchedDataFile> &files,
                                         const std::function<bool(int index)> &arrived)>;
// Reports progress through the group being compared: value of maximum.
using CheckProgress = std::function<void(int value, int maximum)>;

// The update check: which groups apply, which of their files differ from the installation
// (SHA-256), and the verified payloads of those, kept in the temporary store and marked
// pending in the offline index. It installs nothing.
class UpdateCheck
{
    // The texts it shows are the window's and translate in the window's context.
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    UpdateCheck(const UpdateDocument &document, const QString &baseDir, bool offlineLoaded,
                DataFileFetch fetch, CheckProgress progress);

    // Marks what differs in `update` and records the selection it worked on there.
    CheckResult run(const CheckSelection &selection, PendingUpdate &update);

private:
    bool checkGroup(int groupIndex, PendingUpdate &update);
    // resolved: the entry's full path, nothing when it may not be written.
    bool checkFile(int groupIndex, int fileIndex, const std::optional<QString> &resolved,
                   LocalComparisons &comparisons, PendingUpdate &update);
    // toFetch: file indices and full paths of the group's entries whose payload the server has.
    bool fetchPending(int groupIndex, const QVector<QPair<int, QString>> &toFetch,
                      PendingUpdate &update);
    // Stores the entries of toFetch whose data files are among the first `arrived` ones.
    bool storeArrived(int groupIndex, QVector<FetchedDataFile> &files,
                      const QHash<QString, int> &fileOfKey, int arrived, PendingUpdate &update);
    bool storeFetched(int groupIndex, int fileIndex, const FetchedDataFile &file,
                      const QString &fullPath, PendingUpdate &update);
    bool markStoredPending(OfflineIndex::iterator stored, const FileEntry &entry,
                           PendingUpdate &update);
    bool addSharedEntry(OfflineIndex::iterator shared, int groupIndex, int fileIndex,
                        const FileEntry &entry, PendingUpdate &update);
    bool expandFromOfflineFile(OfflineIndex::iterator stored, const FileEntry &fileEntry,
                               PendingUpdate &update);
    // Expands a payload from `in` at the end of the store and checks it against its hash name;
    // on any failure the store is cut back and a red line says why.
    bool storePayload(QIODevice &in, qint64 length, const QString &sha256,
                      const QString &mismatchTitle, const QString &fullPath, PendingUpdate &update,
                      qint64 *offset, qint64 *size);
    void addEntry(const QString &key, const OfflineEntry &entry, PendingUpdate &update);
    void markFolderPending(int groupIndex, int fileIndex, const QString &key,
                           PendingUpdate &update);
    // The entry stored for a file entry: same key and indices; end() when there is none.
    OfflineIndex::iterator storedEntry(OfflineIndex &index, const QString &key, int groupIndex,
                                       int fileIndex) const;
    bool localFileCurrent(const QString &fullPath, const LocalComparisons::Result &comparison,
                          bool *current, PendingUpdate &update);
    void notePlugin(int groupIndex, const QString &fullPath, PendingUpdate &update) const;

    UpdateDocument document;
    QString baseDir;
    bool offlineLoaded;
    DataFileFetch fetch;
    CheckProgress progress;
    CheckResult result;
    // Look-ups that stay constant in time however many entries there are.
    QHash<quint64, OfflineIndex::iterator> entriesByIndex;
    QHash<QString, OfflineIndex::iterator> entriesByKey; // one file entry per content
    QSet<QString> foldersListed; // lower case
    QVector<QPair<int, QString>> toFetch; // of the group being compared
    int toFetchDone = 0; // entries of toFetch taken care of
    bool fetchFailed = false;
};
