// Busvault.dll as a COM client sees it: registration, class creation, the
// class factory and unloading rules, the store's handles and limits, and the
// port object's set-up rules. Ports here are named pipes served by the test
// itself ("\\.\pipe\..." opens like "\\.\COM1"): they show what was written,
// never answer, and report when the store closes them.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../testsupport/import_patch.h"
#include "busvault.h"
#include "pipe_end.h"
#include "vrel/com_ptr.h"
#include "vrel/module_exports.h"
#include "vrel/unique_handle.h"

namespace {

using vrel::ComPtr;

constexpr char kClassKey[] = "CLSID\\{6EEB7D78-9DF9-11d5-8999-00E0293CC7F3}";
constexpr char kClsidText[] = "{6EEB7D78-9DF9-11d5-8999-00E0293CC7F3}";
constexpr char kDescription[] = "Vrel BusvaultStore";
constexpr char kLibIdText[] = "{8A3B02CB-ED3F-442B-B585-D7DA40196E81}";
constexpr char kAutomationKey[] = "Interface\\{0680D460-9BA0-4D10-A73C-CC5F341A9F55}";
constexpr char kUniversalMarshaler[] = "{00020424-0000-0000-C000-000000000046}";

using DllFunction = HRESULT(STDAPICALLTYPE*)();
using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

// The server loaded as COM would load it, with its four exports.
struct Server {
    vrel::unique_hmodule module{::LoadLibraryW(L"Busvault.dll")};
    GetClassObjectFunction getClassObject = vrel::Export<GetClassObjectFunction>(module.get(), "DllGetClassObject");
    DllFunction canUnloadNow = vrel::Export<DllFunction>(module.get(), "DllCanUnloadNow");
    DllFunction registerServer = vrel::Export<DllFunction>(module.get(), "DllRegisterServer");
    DllFunction unregisterServer = vrel::Export<DllFunction>(module.get(), "DllUnregisterServer");

    std::string Path() const {
        char path[MAX_PATH] = {};
        ::GetModuleFileNameA(module.get(), path, MAX_PATH);
        return path;
    }
    ComPtr<IBusvaultStore> NewStore() const {
        ComPtr<IClassFactory> factory;
        getClassObject(CLSID_BusvaultStore, IID_IClassFactory, factory.put_void());
        ComPtr<IBusvaultStore> store;
        if (factory) factory->CreateInstance(nullptr, IID_IBusvaultStore, store.put_void());
        return store;
    }
};

bool KeyExists(const std::string& path) {
    vrel::unique_hkey key;
    return ::RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

// A string value of a key under HKEY_CLASSES_ROOT; "<missing>" when absent,
// "<type N>" when not a string.
std::string StringValue(const std::string& path, const char* name = nullptr) {
    vrel::unique_hkey key;
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return "<missing>";
    char data[1024] = {};
    DWORD size = sizeof data - 1, type = 0;
    if (::RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
        return "<missing>";
    if (type != REG_SZ) return "<type " + std::to_string(type) + ">";
    return data;
}

// Subkey names and value names of a key.
std::pair<std::vector<std::string>, std::vector<std::string>> Contents(const std::string& path) {
    std::pair<std::vector<std::string>, std::vector<std::string>> out;
    vrel::unique_hkey key;
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return out;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (::RegEnumKeyExA(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        out.first.emplace_back(name, length);
    }
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (::RegEnumValueA(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        out.second.emplace_back(name, length);
    }
    return out;
}

HANDLE WINAPI NoEvent(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCSTR) {
    ::SetLastError(ERROR_NO_SYSTEM_RESOURCES);
    return nullptr;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(::tolower(static_cast<unsigned char>(c)));
    return s;
}

class BusvaultServer : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    static void TearDownTestSuite() { ::CoUninitialize(); }
    void SetUp() override {
        ASSERT_TRUE(server.module) << ::GetLastError();
        ASSERT_TRUE(server.getClassObject && server.canUnloadNow && server.registerServer && server.unregisterServer);
    }
    Server server;
};

// ---- registration -------------------------------------------------------

TEST_F(BusvaultServer, RegistrationWritesExactlyTheTableAndUnregistrationRemovesIt) {
    ASSERT_EQ(server.registerServer(), S_OK);

    EXPECT_EQ(StringValue("Vrel.BusvaultStore.1"), kDescription);
    EXPECT_EQ(StringValue("Vrel.BusvaultStore.1\\CLSID"), kClsidText);
    EXPECT_EQ(Contents("Vrel.BusvaultStore.1").first, std::vector<std::string>{"CLSID"});

    EXPECT_EQ(StringValue("Vrel.BusvaultStore"), kDescription);
    EXPECT_EQ(StringValue("Vrel.BusvaultStore\\CLSID"), kClsidText);
    EXPECT_EQ(StringValue("Vrel.BusvaultStore\\CurVer"), "Vrel.BusvaultStore.1");
    EXPECT_EQ(Contents("Vrel.BusvaultStore").first.size(), 2u);

    const std::string cls = kClassKey;
    EXPECT_EQ(StringValue(cls), kDescription);
    EXPECT_EQ(StringValue(cls + "\\ProgID"), "Vrel.BusvaultStore.1");
    EXPECT_EQ(StringValue(cls + "\\VersionIndependentProgID"), "Vrel.BusvaultStore");
    EXPECT_EQ(Lower(StringValue(cls + "\\InprocServer32")), Lower(server.Path()));
    EXPECT_EQ(StringValue(cls + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(StringValue(cls + "\\TypeLib"), kLibIdText);
    EXPECT_EQ(StringValue(cls + "\\Version"), "1.0");
    EXPECT_EQ(Contents(cls).first.size(), 5u);
    EXPECT_EQ(Contents(cls).second, std::vector<std::string>{""});
    EXPECT_EQ(Contents(cls + "\\InprocServer32").second.size(), 2u);

    // The type library, for this build's bitness, and its automation
    // interface marshaled by the universal marshaler; the three vtable
    // interfaces stay unregistered.
    const std::string lib = std::string("TypeLib\\") + kLibIdText;
    EXPECT_EQ(Lower(StringValue(lib + (sizeof(void*) == 8 ? "\\1.0\\0\\win64" : "\\1.0\\0\\win32"))),
              Lower(server.Path()));
    EXPECT_EQ(StringValue(kAutomationKey), "IBusvaultAutomation");
    EXPECT_EQ(StringValue(std::string(kAutomationKey) + "\\ProxyStubClsid32"), kUniversalMarshaler);
    EXPECT_EQ(StringValue(std::string(kAutomationKey) + "\\TypeLib"), kLibIdText);
    for (const char* vtableOnly : {"{F98336D6-A062-11D5-899A-00E0293CC7F3}", "{6EEB7D7B-9DF9-11D5-8999-00E0293CC7F3}",
                                   "{6EEB7D7E-9DF9-11D5-8999-00E0293CC7F3}"})
        EXPECT_FALSE(KeyExists(std::string("Interface\\") + vtableOnly)) << vtableOnly;

    ASSERT_EQ(server.unregisterServer(), S_OK);
    EXPECT_FALSE(KeyExists("Vrel.BusvaultStore.1"));
    EXPECT_FALSE(KeyExists("Vrel.BusvaultStore"));
    EXPECT_FALSE(KeyExists(cls));
    EXPECT_FALSE(KeyExists(lib));
    EXPECT_FALSE(KeyExists(kAutomationKey));
    EXPECT_TRUE(KeyExists("CLSID"));
    EXPECT_TRUE(KeyExists("TypeLib"));
    EXPECT_TRUE(KeyExists("Interface"));
    // Unregistering what is not registered is no error.
    EXPECT_EQ(server.unregisterServer(), S_OK);
}

TEST_F(BusvaultServer, RegisteringReplacesTheWholeClassKey) {
    ASSERT_EQ(server.registerServer(), S_OK);
    const std::string cls = kClassKey;
    vrel::unique_hkey stale;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CLASSES_ROOT, (cls + "\\Stale\\Deeper").c_str(), 0, nullptr, 0, KEY_WRITE,
                                nullptr, stale.put(), nullptr),
              ERROR_SUCCESS);
    stale.reset();
    ASSERT_EQ(::RegSetValueA(HKEY_CLASSES_ROOT, (cls + "\\InprocServer32").c_str(), REG_SZ, "C:\\old.dll", 10),
              ERROR_SUCCESS);

    ASSERT_EQ(server.registerServer(), S_OK);
    EXPECT_FALSE(KeyExists(cls + "\\Stale"));
    EXPECT_EQ(Lower(StringValue(cls + "\\InprocServer32")), Lower(server.Path()));
    EXPECT_EQ(server.unregisterServer(), S_OK);
}

TEST_F(BusvaultServer, ComCreatesTheStoreByClassIdAndBothProgIds) {
    ASSERT_EQ(server.registerServer(), S_OK);
    ComPtr<IBusvaultStore> byClsid;
    EXPECT_EQ(::CoCreateInstance(CLSID_BusvaultStore, nullptr, CLSCTX_INPROC_SERVER, IID_IBusvaultStore,
                                 byClsid.put_void()),
              S_OK);
    EXPECT_TRUE(byClsid);
    for (const wchar_t* progId : {L"Vrel.BusvaultStore.1", L"Vrel.BusvaultStore"}) {
        CLSID clsid{};
        ASSERT_EQ(::CLSIDFromProgID(progId, &clsid), S_OK);
        EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_BusvaultStore));
        ComPtr<IBusvaultStore> store;
        EXPECT_EQ(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBusvaultStore, store.put_void()), S_OK);
        ASSERT_TRUE(store);
        DWORD handle = 0;
        void* link = nullptr;
        EXPECT_EQ(store->CreateLink(BUSVAULT_KIND_SERIAL, IID_IBusvaultLinkSetup, &handle, &link), S_OK);
        EXPECT_EQ(handle, 255u);  // each store has its own slots
    }
    ASSERT_EQ(server.unregisterServer(), S_OK);
    ComPtr<IBusvaultStore> none;
    EXPECT_EQ(::CoCreateInstance(CLSID_BusvaultStore, nullptr, CLSCTX_INPROC_SERVER, IID_IBusvaultStore,
                                 none.put_void()),
              REGDB_E_CLASSNOTREG);
}

// ---- class object and unloading ------------------------------------------

TEST_F(BusvaultServer, ClassObjectServesOnlyItsClassAndInterfaces) {
    void* out = &out;
    EXPECT_EQ(server.getClassObject(IID_IBusvaultStore, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    out = &out;
    EXPECT_EQ(server.getClassObject(CLSID_BusvaultStore, IID_IBusvaultStore, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(server.canUnloadNow(), S_OK);  // the failed query destroyed its factory

    ComPtr<IClassFactory> factory;
    ASSERT_EQ(server.getClassObject(CLSID_BusvaultStore, IID_IClassFactory, factory.put_void()), S_OK);
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(factory->QueryInterface(IID_IUnknown, unknown.put_void()), S_OK);
    EXPECT_EQ(static_cast<void*>(unknown.get()), static_cast<void*>(factory.get()));
    out = &out;
    EXPECT_EQ(factory->QueryInterface(IID_IBusvaultStore, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);

    ComPtr<IBusvaultStore> store;
    EXPECT_EQ(factory->CreateInstance(unknown.get(), IID_IBusvaultStore, store.put_void()), CLASS_E_NOAGGREGATION);
    EXPECT_FALSE(store);
    out = &out;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IBusvaultLink, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    ComPtr<IUnknown> storeUnknown;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, storeUnknown.put_void()), S_OK);
    ASSERT_TRUE(storeUnknown);
    EXPECT_EQ(storeUnknown.as(store, IID_IBusvaultStore), S_OK);
    EXPECT_EQ(static_cast<void*>(store.get()), static_cast<void*>(storeUnknown.get()));
    ComPtr<IBusvaultLink> notAStore;
    EXPECT_EQ(store.as(notAStore, IID_IBusvaultLink), E_NOINTERFACE);
    EXPECT_FALSE(notAStore);
}

TEST_F(BusvaultServer, UnloadWaitsForEveryFactoryStoreAndLock) {
    EXPECT_EQ(server.canUnloadNow(), S_OK);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(server.getClassObject(CLSID_BusvaultStore, IID_IClassFactory, factory.put_void()), S_OK);
    EXPECT_EQ(server.canUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    ComPtr<IBusvaultStore> store;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBusvaultStore, store.put_void()), S_OK);
    factory.reset();
    EXPECT_EQ(server.canUnloadNow(), S_FALSE);  // store and lock
    store.reset();
    EXPECT_EQ(server.canUnloadNow(), S_FALSE);  // lock
    ASSERT_EQ(server.getClassObject(CLSID_BusvaultStore, IID_IClassFactory, factory.put_void()), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(server.canUnloadNow(), S_FALSE);  // the factory itself
    factory.reset();
    EXPECT_EQ(server.canUnloadNow(), S_OK);
}

TEST_F(BusvaultServer, StoreReferencesCountAndTheLastReleaseDestroysIt) {
    ComPtr<IBusvaultStore> store = server.NewStore();
    ASSERT_TRUE(store);
    EXPECT_EQ(store->AddRef(), 2u);
    EXPECT_EQ(store->Release(), 1u);
    store.reset();
    EXPECT_EQ(server.canUnloadNow(), S_OK);
}

// ---- the store's slots -----------------------------------------------------

class BusvaultStoreSlots : public BusvaultServer {
protected:
    void SetUp() override {
        BusvaultServer::SetUp();
        store = server.NewStore();
        ASSERT_TRUE(store);
    }
    DWORD Create(REFIID iid = IID_IBusvaultLinkSetup, HRESULT expected = S_OK) {
        DWORD handle = 0xDEAD;
        void* link = nullptr;
        EXPECT_EQ(store->CreateLink(BUSVAULT_KIND_SERIAL, iid, &handle, &link), expected);
        EXPECT_EQ(link != nullptr, expected == S_OK);
        return handle;
    }
    ComPtr<IBusvaultStore> store;
};

TEST_F(BusvaultStoreSlots, HandlesCountDownFromTheTopAndAFreedHandleComesBackFirst) {
    EXPECT_EQ(Create(), 255u);
    EXPECT_EQ(Create(IID_IBusvaultLink), 254u);
    EXPECT_EQ(Create(IID_IUnknown), 253u);
    EXPECT_EQ(store->DeleteLink(254), S_OK);
    EXPECT_EQ(Create(), 254u);
    EXPECT_EQ(Create(), 252u);
    EXPECT_EQ(store->DeleteLink(255), S_OK);
    EXPECT_EQ(store->DeleteLink(253), S_OK);
    EXPECT_EQ(Create(), 255u);
    EXPECT_EQ(Create(), 253u);
}

TEST_F(BusvaultStoreSlots, RefusedCreationsLeaveNoHandleAndNoLink) {
    DWORD handle = 0xDEAD;
    void* link = &link;
    EXPECT_EQ(store->CreateLink(3, IID_IBusvaultLinkSetup, &handle, &link), E_NOTIMPL);
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(link, nullptr);
    EXPECT_EQ(Create(IID_IClassFactory, E_NOINTERFACE), 0u);
    EXPECT_EQ(Create(IID_IBusvaultStore, E_NOINTERFACE), 0u);
    EXPECT_EQ(store->CreateLink(BUSVAULT_KIND_SERIAL, IID_IBusvaultLink, nullptr, &link), E_POINTER);
    {
        // A port without its event could never wait for a transfer.
        testsupport::ImportPatch noEvent(server.module.get(), "kernel32.dll", "CreateEventA", &NoEvent);
        ASSERT_TRUE(noEvent.Active());
        EXPECT_EQ(Create(IID_IBusvaultLinkSetup, E_OUTOFMEMORY), 0u);
    }
    // Nothing was taken: the first real link still gets the first handle.
    EXPECT_EQ(Create(), 255u);
}

TEST_F(BusvaultStoreSlots, AFullStoreRefusesTheNextLinkUntilOneIsDeleted) {
    std::vector<bool> seen(256, false);
    for (int i = 0; i < 255; ++i) {
        const DWORD handle = Create();
        ASSERT_TRUE(handle >= 1 && handle <= 255 && !seen[handle]) << handle;
        seen[handle] = true;
    }
    DWORD handle = 0xDEAD;
    void* link = nullptr;
    EXPECT_EQ(store->CreateLink(BUSVAULT_KIND_SERIAL, IID_IBusvaultLinkSetup, &handle, &link), E_FAIL);
    EXPECT_EQ(store->CreateLink(3, IID_IBusvaultLinkSetup, &handle, &link), E_FAIL);  // the limit comes first
    EXPECT_EQ(store->DeleteLink(1), S_OK);
    EXPECT_EQ(Create(), 1u);
    EXPECT_EQ(store->DeleteLink(100), S_OK);
    EXPECT_EQ(Create(), 100u);
}

TEST_F(BusvaultStoreSlots, BadHandlesAreRefusedByEveryOperation) {
    const DWORD live = Create();
    for (DWORD bad : {0ul, 256ul, 0xFFFFFFFFul, 1ul}) {
        EXPECT_EQ(store->DeleteLink(bad), E_HANDLE) << bad;
        BYTE request[4] = {1, 2, 3, 4}, reply[8] = {};
        DWORD requestLength = 4, replyLength = 8;
        ExchangeStats stats{7, 7, 7, 7, 7, 7};
        EXPECT_EQ(store->Exchange(bad, request, reply, &requestLength, &replyLength, &stats),
                  BUSVAULT_STATUS_BAD_HANDLE)
            << bad;
        EXPECT_EQ(stats.attempts, 7u);
        EXPECT_EQ(replyLength, 8u);
    }
    EXPECT_EQ(store->SetAttempts(0, 3), E_HANDLE);
    EXPECT_EQ(store->SetAttempts(256, 3), E_HANDLE);
    EXPECT_EQ(store->SetAttempts(live, 0), E_INVALIDARG);
    EXPECT_EQ(store->SetAttempts(1, 3), S_OK);  // a free slot in range is accepted
    EXPECT_EQ(store->DeleteLink(live), S_OK);
    EXPECT_EQ(store->DeleteLink(live), E_HANDLE);
}

TEST_F(BusvaultStoreSlots, ExchangeOnANeverOpenedPortReportsNotOpen) {
    const DWORD handle = Create();
    ASSERT_EQ(store->SetAttempts(handle, 3), S_OK);
    BYTE request[3] = {1, 2, 3}, reply[16] = {};
    DWORD requestLength = 3, replyLength = 16;
    ExchangeStats stats{9, 9, 9, 9, 9, 9};
    EXPECT_EQ(store->Exchange(handle, request, reply, &requestLength, &replyLength, &stats),
              BUSVAULT_STATUS_NOT_OPEN);
    EXPECT_EQ(stats.attempts, 0u);
    EXPECT_EQ(stats.bytesWritten, 0u);
    EXPECT_EQ(replyLength, 16u);
    // The failed exchange makes the next one try to drain first; that fails
    // the same way.
    EXPECT_EQ(store->Exchange(handle, request, reply, &requestLength, &replyLength, nullptr),
              BUSVAULT_STATUS_NOT_OPEN);
}

// ---- the port object ---------------------------------------------------------

class BusvaultPortObject : public BusvaultStoreSlots {
protected:
    void SetUp() override {
        BusvaultStoreSlots::SetUp();
        ASSERT_EQ(store->CreateLink(BUSVAULT_KIND_SERIAL, IID_IBusvaultLinkSetup, &handle,
                                    reinterpret_cast<void**>(&setup)),
                  S_OK);
        ASSERT_EQ(setup->QueryInterface(IID_IBusvaultLink, reinterpret_cast<void**>(&link)), S_OK);
    }
    DWORD handle = 0;
    IBusvaultLinkSetup* setup = nullptr;
    IBusvaultLink* link = nullptr;
};

TEST_F(BusvaultPortObject, BothInterfacesReachTheSameObjectWithoutReferenceCounting) {
    IBusvaultLinkSetup* back = nullptr;
    ASSERT_EQ(link->QueryInterface(IID_IBusvaultLinkSetup, reinterpret_cast<void**>(&back)), S_OK);
    EXPECT_EQ(back, setup);
    IUnknown* fromSetup = nullptr;
    IUnknown* fromLink = nullptr;
    EXPECT_EQ(setup->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromSetup)), S_OK);
    EXPECT_EQ(link->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromLink)), S_OK);
    EXPECT_EQ(fromSetup, fromLink);
    EXPECT_EQ(static_cast<void*>(fromLink), static_cast<void*>(link));
    void* out = &out;
    EXPECT_EQ(link->QueryInterface(IID_IBusvaultStore, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(link->AddRef(), 1u);
    EXPECT_EQ(setup->AddRef(), 1u);
    EXPECT_EQ(link->Release(), 1u);
    EXPECT_EQ(setup->Release(), 1u);
    EXPECT_EQ(link->GetState(), BUSVAULT_PORT_NOT_OPEN);  // still alive after all that
}

TEST_F(BusvaultPortObject, ANewPortRefusesEverythingButOpenAndState) {
    EXPECT_EQ(link->GetState(), BUSVAULT_PORT_NOT_OPEN);
    BYTE buffer[4] = {};
    DWORD length = 4;
    EXPECT_EQ(link->WriteBytes(buffer, &length), E_FAIL);
    EXPECT_EQ(length, 0u);  // nothing moved
    length = 4;
    EXPECT_EQ(link->ReadBytes(buffer, &length), E_FAIL);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(link->SetTimeouts(5, 5), E_FAIL);
    DWORD wait = 0, interval = 0;
    EXPECT_EQ(link->GetTimeouts(&wait, &interval), E_FAIL);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    EXPECT_EQ(setup->SetState(&dcb), E_FAIL);
    EXPECT_FALSE(dcb.fAbortOnError);  // untouched
    EXPECT_EQ(setup->BuildState("9600,n,8,1"), E_FAIL);
    EXPECT_EQ(setup->SetupQueues(512, 512), E_FAIL);
    EXPECT_EQ(link->GetState(), BUSVAULT_PORT_NOT_OPEN);
}

TEST_F(BusvaultPortObject, AFailedOpenLeavesThePortFreeForAnotherName) {
    EXPECT_EQ(setup->OpenPort("pipe\\busvault-no-such-port"), E_FAIL);
    EXPECT_EQ(link->GetState(), BUSVAULT_PORT_NOT_OPEN);
    EXPECT_EQ(setup->OpenPort(nullptr), E_POINTER);
    PipeEnd peer("busvault-open-test");
    ASSERT_TRUE(peer.Valid());
    EXPECT_EQ(setup->OpenPort(peer.PortName()), S_OK);
    EXPECT_EQ(link->GetState(), BUSVAULT_PORT_READY);
    // A second open drops the device: the port is unusable until deleted.
    EXPECT_EQ(setup->OpenPort(peer.PortName()), E_FAIL);
    EXPECT_EQ(link->GetState(), BUSVAULT_PORT_REOPENED);
    EXPECT_TRUE(peer.ClientGone());
    EXPECT_EQ(store->DeleteLink(handle), S_OK);
}

TEST_F(BusvaultPortObject, PortNamesThatDoNotFitTheDeviceNameAreRefused) {
    // "\\.\" + 251 characters + terminator fill the 256-byte device name.
    const std::string fits = "pipe\\" + std::string(246, 'x');
    EXPECT_EQ(setup->OpenPort(fits.c_str()), E_FAIL);  // fits, but no such pipe
    const std::string tooLong = fits + "y";
    EXPECT_EQ(setup->OpenPort(tooLong.c_str()), E_INVALIDARG);
    EXPECT_EQ(setup->OpenPort(std::string(5000, 'C').c_str()), E_INVALIDARG);
    EXPECT_EQ(link->GetState(), BUSVAULT_PORT_NOT_OPEN);
}

TEST_F(BusvaultPortObject, SetUpOperationsOnAnOpenPort) {
    PipeEnd peer("busvault-setup-test");
    ASSERT_EQ(setup->OpenPort(peer.PortName()), S_OK);
    EXPECT_EQ(link->SetTimeouts(5, 5), S_OK);
    DWORD wait = 0, interval = 0;
    EXPECT_EQ(link->GetTimeouts(&wait, &interval), S_OK);
    EXPECT_EQ(wait, 5u);
    EXPECT_EQ(interval, 5u);
    EXPECT_EQ(link->GetTimeouts(nullptr, &interval), E_POINTER);

    EXPECT_EQ(setup->BuildState("9600,n,8,1"), S_OK);
    EXPECT_EQ(setup->BuildState("baud=19200 parity=E data=7 stop=2"), S_OK);
    EXPECT_EQ(setup->BuildState("this is no mode"), E_INVALIDARG);
    EXPECT_EQ(setup->BuildState(nullptr), E_FAIL);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = CBR_9600;
    dcb.ByteSize = 8;
    EXPECT_EQ(setup->SetState(&dcb), S_OK);
    EXPECT_TRUE(dcb.fAbortOnError);
    EXPECT_EQ(setup->SetState(nullptr), E_FAIL);
    EXPECT_EQ(setup->SetupQueues(1024, 1024), S_OK);
    EXPECT_EQ(link->GetState(), BUSVAULT_PORT_READY);
}

TEST_F(BusvaultPortObject, AttemptsSetOnAFreeSlotCarryOverAndDeletionClearsThem) {
    ASSERT_EQ(store->DeleteLink(handle), S_OK);
    ASSERT_EQ(store->SetAttempts(255, 4), S_OK);  // the slot is free now
    ASSERT_EQ(store->CreateLink(BUSVAULT_KIND_SERIAL, IID_IBusvaultLinkSetup, &handle,
                                reinterpret_cast<void**>(&setup)),
              S_OK);
    ASSERT_EQ(handle, 255u);
    ASSERT_EQ(setup->QueryInterface(IID_IBusvaultLink, reinterpret_cast<void**>(&link)), S_OK);
    PipeEnd peer("busvault-attempts-test");
    ASSERT_EQ(setup->OpenPort(peer.PortName()), S_OK);
    ASSERT_EQ(link->SetTimeouts(20, 5), S_OK);

    BYTE request[5] = {0x16, 0x02, 0x10, 0x02, 0x03}, reply[300] = {};
    DWORD requestLength = 5, replyLength = sizeof reply;
    ExchangeStats stats{};
    EXPECT_EQ(store->Exchange(handle, request, reply, &requestLength, &replyLength, &stats),
              BUSVAULT_STATUS_NO_REPLY);
    EXPECT_EQ(stats.attempts, 6u);
    EXPECT_EQ(stats.bytesWritten, 5u);
    EXPECT_EQ(stats.bytesRead, 0u);
    EXPECT_EQ(replyLength, sizeof reply);
    EXPECT_EQ(peer.Take().size(), 10u);  // written twice: before the first read and after the third
    EXPECT_EQ(requestLength, 5u);

    // Deleting clears the attempts: the next link there reads nothing.
    ASSERT_EQ(store->DeleteLink(handle), S_OK);
    EXPECT_TRUE(peer.ClientGone());
    PipeEnd again("busvault-attempts-test-2");
    ASSERT_EQ(store->CreateLink(BUSVAULT_KIND_SERIAL, IID_IBusvaultLinkSetup, &handle,
                                reinterpret_cast<void**>(&setup)),
              S_OK);
    ASSERT_EQ(setup->OpenPort(again.PortName()), S_OK);
    stats = ExchangeStats{5, 5, 5, 5, 5, 5};
    EXPECT_EQ(store->Exchange(handle, request, reply, &requestLength, &replyLength, &stats), BUSVAULT_STATUS_OK);
    EXPECT_EQ(stats.attempts, 0u);
    EXPECT_EQ(stats.bytesWritten, 5u);
    EXPECT_EQ(stats.bytesRead, 0u);
    EXPECT_EQ(replyLength, sizeof reply);
    EXPECT_EQ(again.Take().size(), 5u);
}

TEST_F(BusvaultPortObject, AWriteThatCannotFinishInTimeReportsAWriteTimeOut) {
    // Nobody reads the pipe: a request far larger than its buffer stays
    // pending until the wait time ends.
    PipeEnd peer("busvault-full-pipe");
    ASSERT_EQ(setup->OpenPort(peer.PortName()), S_OK);
    ASSERT_EQ(link->SetTimeouts(100, 5), S_OK);
    ASSERT_EQ(store->SetAttempts(handle, 3), S_OK);
    std::vector<BYTE> request(4 * 1024 * 1024, 0x16);
    BYTE reply[256];
    DWORD requestLength = static_cast<DWORD>(request.size()), replyLength = sizeof reply;
    ExchangeStats stats{};
    EXPECT_EQ(store->Exchange(handle, request.data(), reply, &requestLength, &replyLength, &stats),
              BUSVAULT_STATUS_WRITE_TIMEOUT);
    EXPECT_EQ(link->GetState(), BUSVAULT_PORT_WRITE_TIMEOUT);
    EXPECT_LT(stats.bytesWritten, request.size());
    EXPECT_GE(stats.writeMs, 90u);
    EXPECT_EQ(stats.attempts, 0u);  // no read after a failed write
}

TEST_F(BusvaultServer, TheLastReleaseClosesThePortsOfEveryRemainingLink) {
    PipeEnd first("busvault-release-1"), second("busvault-release-2");
    {
        ComPtr<IBusvaultStore> store = server.NewStore();
        ASSERT_TRUE(store);
        for (PipeEnd* peer : {&first, &second}) {
            DWORD handle = 0;
            IBusvaultLinkSetup* setup = nullptr;
            ASSERT_EQ(store->CreateLink(BUSVAULT_KIND_SERIAL, IID_IBusvaultLinkSetup, &handle,
                                        reinterpret_cast<void**>(&setup)),
                      S_OK);
            ASSERT_EQ(setup->OpenPort(peer->PortName()), S_OK);
        }
        EXPECT_FALSE(first.ClientGone());
        EXPECT_FALSE(second.ClientGone());
    }
    EXPECT_TRUE(first.ClientGone());
    EXPECT_TRUE(second.ClientGone());
    EXPECT_EQ(server.canUnloadNow(), S_OK);
}

}  // namespace
