// The request a second launch leaves for the running instance: JSON from any process of the
// user, read back and, when accepted, written again.

#include "DuplicateLaunchRequest.h"
#include "FuzzInput.h"

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzInput::ensureApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray json =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<DuplicateLaunchRequest> request = DuplicateLaunchRequest::fromJson(json);
    if (!request) {
        return 0;
    }
    // What was accepted must survive its own round trip unchanged.
    const std::optional<QByteArray> written = request->toJson();
    if (!written) {
        return 0;
    }
    const std::optional<DuplicateLaunchRequest> again = DuplicateLaunchRequest::fromJson(*written);
    if (!again || *again != *request) {
        std::abort();
    }
    return 0;
}
