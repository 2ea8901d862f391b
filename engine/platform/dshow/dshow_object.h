// Reference counting and QueryInterface of the layer's small stream objects that offer one
// interface, and the enumerator over a list of interface pointers taken when it is made.
#pragma once

#include <atomic>
#include <vector>

#include "platform/dshow/dshow.h"

namespace dshow {

// Answers QueryInterface for IUnknown and its one interface. It starts with no references: its
// maker adds the caller's.
template <class Interface>
class SingleInterfaceObject : public Interface {
public:
    explicit SingleInterfaceObject(const V_GUID& iid) : m_Iid(iid) {}
    virtual ~SingleInterfaceObject() = default;
    V_HRESULT QueryInterface(const V_GUID& iid, void** object) override {
        if (object == nullptr) return V_E_POINTER;
        *object = nullptr;
        if (!(iid == V_IID_IUnknown || iid == m_Iid)) return V_E_NOINTERFACE;
        *object = static_cast<Interface*>(this);
        AddRef();
        return V_S_OK;
    }
    V_ULONG AddRef() override { return static_cast<V_ULONG>(++m_cRef); }
    V_ULONG Release() override {
        long left = --m_cRef;
        if (left == 0) delete this;
        return static_cast<V_ULONG>(left);
    }

private:
    const V_GUID m_Iid;
    std::atomic<long> m_cRef{0};
};

// The position and the Skip and Reset of an enumerator over m_Items; Next is the item kind's.
template <class Interface, class Item>
class ListEnumerator : public SingleInterfaceObject<Interface> {
public:
    explicit ListEnumerator(const V_GUID& iid) : SingleInterfaceObject<Interface>(iid) {}
    V_HRESULT Skip(V_ULONG count) override {
        m_Position += count;
        return m_Position <= m_Items.size() ? V_S_OK : V_S_FALSE;
    }
    V_HRESULT Reset() override {
        m_Position = 0;
        return V_S_OK;
    }

protected:
    std::vector<Item> m_Items;
    size_t m_Position = 0;
};

// Enumerates interface pointers, each referenced while the enumerator lives and again for the
// caller as Next hands it out.
template <class Interface, class Pointer>
class InterfaceListEnumerator : public ListEnumerator<Interface, Pointer*> {
public:
    InterfaceListEnumerator(const V_GUID& iid, const std::vector<Pointer*>& items)
        : ListEnumerator<Interface, Pointer*>(iid) {
        this->m_Items = items;
        for (Pointer* item : this->m_Items) item->AddRef();
    }
    ~InterfaceListEnumerator() override {
        for (Pointer* item : this->m_Items) item->Release();
    }
    V_HRESULT Next(V_ULONG count, Pointer** items, V_ULONG* fetched) override {
        if (items == nullptr) return V_E_POINTER;
        V_ULONG n = 0;
        while (n < count && this->m_Position < this->m_Items.size()) {
            items[n] = this->m_Items[this->m_Position++];
            items[n++]->AddRef();
        }
        if (fetched != nullptr) *fetched = n;
        return n == count ? V_S_OK : V_S_FALSE;
    }
};

}  // namespace dshow
