#pragma once

#include <QMutex>
#include <QtGlobal>

#include <vector>

// Lends libdeflate's compressors or decompressors, which are costly to make, to whichever thread
// needs one and keeps those given back for the next borrower: as many exist as threads ever
// used one at once.
//
// This takes the place of a thread_local object per thread. With mingw-w64's POSIX threads
// (the Windows build), libstdc++ runs the main thread's thread_local destructors while it is
// unloaded at exit and then waits forever on a winpthreads lock: the program did its work but
// its process never ended. A pool is plain memory that the program frees like any other.
template<typename Handle>
class DeflatePool
{
public:
    using Make = Handle *(*)();
    using Free = void (*)(Handle *);

    DeflatePool(Make make, Free free)
        : make(make)
        , free(free)
    {
    }
    ~DeflatePool()
    {
        for (Handle *handle : idle)
            free(handle);
    }
    DeflatePool(const DeflatePool &) = delete;
    DeflatePool &operator=(const DeflatePool &) = delete;

    // One handle for the borrower alone, back to the pool when the lease ends.
    class Lease
    {
    public:
        explicit Lease(DeflatePool *pool)
            : pool(pool)
            , handle(pool->take())
        {
        }
        ~Lease() { pool->giveBack(handle); }
        Lease(const Lease &) = delete;
        Lease &operator=(const Lease &) = delete;

        Handle *get() const { return handle; }

    private:
        DeflatePool *pool;
        Handle *handle;
    };

private:
    Handle *take()
    {
        {
            QMutexLocker locker(&mutex);
            if (!idle.empty()) {
                Handle *handle = idle.back();
                idle.pop_back();
                return handle;
            }
        }
        Handle *handle = make();
        if (!handle)
            qBadAlloc();
        return handle;
    }

    void giveBack(Handle *handle)
    {
        QMutexLocker locker(&mutex);
        idle.push_back(handle);
    }

    const Make make;
    const Free free;
    QMutex mutex;
    std::vector<Handle *> idle;
};
