#include "UniqueFileDescriptor.h"

#include <unistd.h>
#include <utility>

UniqueFileDescriptor::UniqueFileDescriptor(UniqueFileDescriptor&& other) noexcept
    : m_fileDescriptor(std::exchange(other.m_fileDescriptor, -1))
{}

UniqueFileDescriptor& UniqueFileDescriptor::operator=(UniqueFileDescriptor&& other) noexcept
{
    if (this != &other) {
        if (isValid()) {
            ::close(m_fileDescriptor);
        }
        m_fileDescriptor = std::exchange(other.m_fileDescriptor, -1);
    }
    return *this;
}

UniqueFileDescriptor::~UniqueFileDescriptor()
{
    if (isValid()) {
        ::close(m_fileDescriptor);
    }
}
