// The add-in object and its class factory.
#include <new>
#include <windows.h>
#include <oleauto.h>
#include "component.h"
#include "quenbrik.h"

namespace {

class TorvikAddIn final : public IDispatch {
public:
    TorvikAddIn() { InterlockedIncrement(&g_liveObjects); }
    ~TorvikAddIn() { InterlockedDecrement(&g_liveObjects); }
    TorvikAddIn(const TorvikAddIn &) = delete;
    TorvikAddIn &operator=(const TorvikAddIn &) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override
    {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
            *object = static_cast<IDispatch *>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }

    ULONG STDMETHODCALLTYPE AddRef() override
    {
        return static_cast<ULONG>(InterlockedIncrement(&references_));
    }

    ULONG STDMETHODCALLTYPE Release() override
    {
        LONG left = InterlockedDecrement(&references_);
        if (left == 0)
            Destroy(this);
        return static_cast<ULONG>(left);
    }

    // There is no type library; callers bind by name.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *count) override
    {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo **info) override
    {
        if (!info)
            return E_POINTER;
        *info = nullptr;
        return DISP_E_BADINDEX;
    }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR *names, UINT count, LCID,
                                            DISPID *ids) override
    {
        if (!IsEqualIID(iid, IID_NULL))
            return DISP_E_UNKNOWNINTERFACE;
        if (count == 0)
            return S_OK;
        if (!names || !ids)
            return E_POINTER;
        HRESULT result = S_OK;
        ids[0] = MemberId(names[0]);
        if (ids[0] == DISPID_UNKNOWN)
            result = DISP_E_UNKNOWNNAME;
        // The members take no arguments, so no argument name is known.
        for (UINT i = 1; i < count; i++) {
            ids[i] = DISPID_UNKNOWN;
            result = DISP_E_UNKNOWNNAME;
        }
        return result;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID, WORD flags, DISPPARAMS *params,
                                     VARIANT *result, EXCEPINFO *, UINT *) override
    {
        if (!IsEqualIID(iid, IID_NULL))
            return DISP_E_UNKNOWNINTERFACE;
        const wchar_t *text = MemberText(member);
        if (!text || !(flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)))
            return DISP_E_MEMBERNOTFOUND;
        if (!params)
            return E_INVALIDARG;
        if (params->cArgs != 0 || params->cNamedArgs != 0)
            return DISP_E_BADPARAMCOUNT;
        if (!result)
            return S_OK;
        VariantInit(result);
        BSTR value = SysAllocString(text);
        if (!value)
            return E_OUTOFMEMORY;
        result->vt = VT_BSTR;
        result->bstrVal = value;
        return S_OK;
    }

    // Heap storage without the C++ runtime's allocator keeps the DLL free of
    // the static libstdc++.
    static TorvikAddIn *Create()
    {
        void *memory = HeapAlloc(GetProcessHeap(), 0, sizeof(TorvikAddIn));
        return memory ? new (memory) TorvikAddIn() : nullptr;
    }

private:
    static void Destroy(TorvikAddIn *addIn)
    {
        addIn->~TorvikAddIn();
        HeapFree(GetProcessHeap(), 0, addIn);
    }

    static DISPID MemberId(const wchar_t *name)
    {
        if (!name)
            return DISPID_UNKNOWN;
        if (lstrcmpiW(name, L"Name") == 0)
            return TORVIK_DISPID_NAME;
        if (lstrcmpiW(name, L"Version") == 0)
            return TORVIK_DISPID_VERSION;
        return DISPID_UNKNOWN;
    }

    static const wchar_t *MemberText(DISPID member)
    {
        switch (member) {
        case TORVIK_DISPID_NAME:
            return L"" TORVIK_DESCRIPTION;
        case TORVIK_DISPID_VERSION:
            return L"" TORVIK_VERSION_TEXT;
        default:
            return nullptr;
        }
    }

    LONG references_ = 1;
};

// One static factory for the life of the DLL; its references count towards
// g_liveObjects so that DllCanUnloadNow stays false while a client holds it.
class TorvikFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override
    {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory *>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }

    ULONG STDMETHODCALLTYPE AddRef() override
    {
        InterlockedIncrement(&g_liveObjects);
        return static_cast<ULONG>(InterlockedIncrement(&references_));
    }

    ULONG STDMETHODCALLTYPE Release() override
    {
        InterlockedDecrement(&g_liveObjects);
        return static_cast<ULONG>(InterlockedDecrement(&references_));
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID iid, void **object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        TorvikAddIn *addIn = TorvikAddIn::Create();
        if (!addIn)
            return E_OUTOFMEMORY;
        HRESULT result = addIn->QueryInterface(iid, object);
        addIn->Release();
        return result;
    }

    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        if (lock)
            InterlockedIncrement(&g_serverLocks);
        else
            InterlockedDecrement(&g_serverLocks);
        return S_OK;
    }

private:
    LONG references_ = 0;
};

TorvikFactory g_factory;

}  // namespace

IClassFactory *TorvikClassFactory()
{
    return &g_factory;
}
