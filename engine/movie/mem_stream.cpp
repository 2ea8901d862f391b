// The memory byte stream behind the asynchronous memory reader.
#include <cstring>
#include <new>

#include "movie/dshow_filters.h"
#include "platform/winmm/winmm.h"

V_CMemStream::V_CMemStream(const V_BYTE* data, int64_t length, V_DWORD rate)
    : m_pData(data), m_llLength(length < 0 ? 0 : length), m_dwKBPerSec(rate),
      m_dwTimeStart(V_timeGetTime()) {
    V_InitializeCriticalSection(&m_Lock);
}

V_CMemStream::~V_CMemStream() { V_DeleteCriticalSection(&m_Lock); }

V_HRESULT V_CMemStream::SetPointer(int64_t position) {
    if (position < 0 || position > m_llLength) return V_S_FALSE;
    m_llPosition = position;
    return V_S_OK;
}

V_HRESULT V_CMemStream::Read(V_BYTE* buffer, V_DWORD bytes, V_BOOL, V_DWORD* read) {
    Lock();
    int64_t left = m_llLength - m_llPosition;
    V_DWORD count = left <= 0 ? 0 : (static_cast<int64_t>(bytes) > left ? static_cast<V_DWORD>(left) : bytes);
    // Paced: the data up to the read's end is there only once its time has come. A rate of
    // 0 would never let any byte through; it reads unpaced like the largest rate.
    if (m_dwKBPerSec != 0 && m_dwKBPerSec != kMemStreamUnpaced) {
        V_DWORD elapsed = V_timeGetTime() - m_dwTimeStart;
        int64_t due = (m_llPosition + count) / m_dwKBPerSec;
        if (static_cast<int64_t>(elapsed) < due)
            V_Sleep(static_cast<V_DWORD>(due - static_cast<int64_t>(elapsed)));
    }
    if (count > 0) std::memcpy(buffer, m_pData + m_llPosition, count);
    m_llPosition += count;
    if (read != nullptr) *read = count;
    Unlock();
    return V_S_OK;
}

V_HRESULT V_CMemStream::Size(int64_t* total, int64_t* available) {
    if (total != nullptr) *total = m_llLength;
    if (available != nullptr) {
        uint64_t reached = static_cast<uint64_t>(m_dwKBPerSec) *
                           static_cast<uint64_t>(V_timeGetTime() - m_dwTimeStart);
        *available = reached < static_cast<uint64_t>(m_llLength) ? static_cast<int64_t>(reached)
                                                                 : m_llLength;
    }
    return V_S_OK;
}

V_CMemStream* CreateMemStream(const void* data, V_DWORD lengthLow, V_DWORD lengthHigh,
                              V_DWORD rate) {
    int64_t length = static_cast<int64_t>((static_cast<uint64_t>(lengthHigh) << 32) | lengthLow);
    return new (std::nothrow) V_CMemStream(static_cast<const V_BYTE*>(data), length, rate);
}

void DeleteMemStream(V_CMemStream* stream) { delete stream; }
