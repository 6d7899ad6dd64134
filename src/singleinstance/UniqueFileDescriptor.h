#pragma once

// Owns one open file descriptor and closes it when it ends; move-only. Negative means none.
class UniqueFileDescriptor
{
public:
    UniqueFileDescriptor() = default;
    explicit UniqueFileDescriptor(int fileDescriptor) : m_fileDescriptor(fileDescriptor) {}
    UniqueFileDescriptor(UniqueFileDescriptor&& other) noexcept;
    UniqueFileDescriptor& operator=(UniqueFileDescriptor&& other) noexcept;
    ~UniqueFileDescriptor();

    UniqueFileDescriptor(const UniqueFileDescriptor&) = delete;
    UniqueFileDescriptor& operator=(const UniqueFileDescriptor&) = delete;

    int get() const { return m_fileDescriptor; }
    bool isValid() const { return m_fileDescriptor >= 0; }

private:
    int m_fileDescriptor = -1;
};
