#include "video/filters/deinter2.h"

#include <mutex>

namespace vidora {

namespace {

std::mutex sharedMasksLock;
DeinterlaceMasks sharedMasks; // guarded by sharedMasksLock

} // namespace

bool Deinterlace2(ConstRgb24View source, QImage &dest)
{
    const std::lock_guard lock(sharedMasksLock);
    return Deinterlace(source, dest, sharedMasks);
}

} // namespace vidora
