#include "processor/ModelPrefetch.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

ModelPrefetch::~ModelPrefetch()
{
    stop();
}

void ModelPrefetch::start (std::vector<Request> requests)
{
    if (requests == requested)
        return;
    stop();
    // What was held stays alive until the new files are: a file both lists name is not read again.
    std::vector<SharedModelFile> previous;
    {
        const std::lock_guard<std::mutex> guard (heldLock);
        previous.swap (held);
    }
    requested = std::move (requests);
    if (requested.empty())
        return;
    stopping = false;
    worker = std::thread (
        [this, previous = std::move (previous)]() mutable
        {
            run();
            previous.clear();
        });
}

void ModelPrefetch::waitUntilDone()
{
    if (worker.joinable())
        worker.join();
}

void ModelPrefetch::stop()
{
    stopping = true;
    if (worker.joinable())
        worker.join();
}

void ModelPrefetch::run()
{
    // Work nobody waits for: on a machine whose cores the host's audio threads keep busy it
    // should take only what they leave over. On Linux a nice value set on a thread id is the
    // thread's own; failure changes nothing but the priority.
    setpriority (PRIO_PROCESS, static_cast<id_t> (syscall (SYS_gettid)), 10);
    for (const Request& request : requested)
    {
        if (stopping.load())
            return;
        SharedModelFile file = ModelDataCache::instance().acquire (request.path, request.usesPca, request.nv,
                                                                   request.ni, request.nx);
        const std::lock_guard<std::mutex> guard (heldLock);
        held.push_back (std::move (file));
    }
}
