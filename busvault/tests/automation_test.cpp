// The automation face as its clients reach it: the type library read back
// as VBA, .NET and Python read it; calls by name through IDispatch as script
// engines make them, with every accepted form of a request; the error texts;
// and a client in the multithreaded apartment, served through the universal
// marshaler. Ports are named pipes served by the test (pipe_end.h).
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "busvault.h"
#include "dispatch_calls.h"
#include "pipe_end.h"
#include "vrel/com_ptr.h"
#include "vrel/module_exports.h"
#include "vrel/unique_handle.h"

namespace {

using vrel::ComPtr;
using Bytes = std::vector<BYTE>;

using DllFunction = HRESULT(STDAPICALLTYPE*)();

// A one-dimensional SAFEARRAY of `type` holding `values`, inside `out`.
template <typename T>
void MakeArray(VARTYPE type, const std::vector<T>& values, Var& out) {
    SAFEARRAY* array = ::SafeArrayCreateVector(type, 0, static_cast<ULONG>(values.size()));
    for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i) {
        T value = values[static_cast<std::size_t>(i)];
        ::SafeArrayPutElement(array, &i, type == VT_VARIANT ? static_cast<void*>(&value) : &value);
    }
    V_VT(&out.v) = static_cast<VARTYPE>(VT_ARRAY | type);
    V_ARRAY(&out.v) = array;
}

class Automation : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    static void TearDownTestSuite() { ::CoUninitialize(); }

    void SetUp() override {
        ASSERT_TRUE(module) << ::GetLastError();
        auto getClassObject = vrel::Export<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(module.get(),
                                                                                        "DllGetClassObject");
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(getClassObject(CLSID_BusvaultStore, IID_IClassFactory, factory.put_void()), S_OK);
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, store.put_void()), S_OK);
    }

    // Calls a method by name with arguments in their written order, as a
    // script engine does.
    void Call(Outcome& out, const wchar_t* name, std::vector<VARIANT*> arguments) {
        ASSERT_TRUE(CallByName(store.get(), out, name, std::move(arguments))) << "no method " << name;
    }

    LONG Number(const wchar_t* name, std::vector<VARIANT*> arguments) {
        Outcome out;
        Call(out, name, std::move(arguments));
        EXPECT_EQ(out.invoke, S_OK) << name << ": " << std::string(out.text.begin(), out.text.end());
        return NumberOf(out);
    }

    // A failure by name: its error code and the start of its text.
    void ExpectFailure(const wchar_t* name, std::vector<VARIANT*> arguments, HRESULT error, const std::wstring& text) {
        Outcome out;
        Call(out, name, std::move(arguments));
        EXPECT_EQ(out.invoke, DISP_E_EXCEPTION) << name;
        EXPECT_EQ(out.error, error) << name;
        EXPECT_NE(out.text.find(text), std::wstring::npos)
            << name << ": " << std::string(out.text.begin(), out.text.end());
    }

    vrel::unique_hmodule module{::LoadLibraryW(L"Busvault.dll")};
    ComPtr<IDispatch> store;
};

TEST_F(Automation, TheTypeLibraryRegistersAndDescribesTheInterfaceItsEnumsAndTheClass) {
    auto registerServer = vrel::Export<DllFunction>(module.get(), "DllRegisterServer");
    auto unregisterServer = vrel::Export<DllFunction>(module.get(), "DllUnregisterServer");
    ASSERT_EQ(registerServer(), S_OK);
    ComPtr<ITypeLib> library;
    ASSERT_EQ(::LoadRegTypeLib(LIBID_BusvaultLib, 1, 0, 0, library.put()), S_OK);

    // The dual interface: its methods in vtable order after IDispatch's seven.
    ComPtr<ITypeInfo> dispatchView, vtableView;
    ASSERT_EQ(library->GetTypeInfoOfGuid(IID_IBusvaultAutomation, dispatchView.put()), S_OK);
    HREFTYPE vtableRef = 0;
    ASSERT_EQ(dispatchView->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableRef), S_OK);
    ASSERT_EQ(dispatchView->GetRefTypeInfo(vtableRef, vtableView.put()), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(vtableView->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->typekind, TKIND_INTERFACE);
    EXPECT_TRUE(attributes->wTypeFlags & TYPEFLAG_FDUAL);
    EXPECT_TRUE(attributes->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);
    const std::vector<std::wstring> methods = {L"CreateLink", L"SetTimeouts",     L"SetAttempts", L"Exchange",
                                               L"Reply",      L"ReplyAsVariants", L"ReplyHex",    L"Status",
                                               L"Statistic",  L"Statistics",      L"PortState",   L"DeleteLink"};
    ASSERT_EQ(attributes->cFuncs, methods.size());
    vtableView->ReleaseTypeAttr(attributes);
    for (UINT i = 0; i < methods.size(); ++i) {
        FUNCDESC* function = nullptr;
        ASSERT_EQ(vtableView->GetFuncDesc(i, &function), S_OK);
        BSTR name = nullptr;
        vtableView->GetDocumentation(function->memid, &name, nullptr, nullptr, nullptr);
        EXPECT_EQ(std::wstring(name ? name : L""), methods[i]);
        EXPECT_EQ(function->oVft, static_cast<SHORT>((7 + i) * sizeof(void*))) << i;
        ::SysFreeString(name);
        vtableView->ReleaseFuncDesc(function);
    }

    // The enums carry busvault.h's values, the statuses as signed numbers.
    const std::vector<std::pair<std::wstring, LONG>> constants = {
        {L"BUSVAULT_STATUS_OK", static_cast<LONG>(BUSVAULT_STATUS_OK)},
        {L"BUSVAULT_STATUS_BAD_HANDLE", static_cast<LONG>(BUSVAULT_STATUS_BAD_HANDLE)},
        {L"BUSVAULT_STATUS_NO_REPLY", static_cast<LONG>(BUSVAULT_STATUS_NO_REPLY)},
        {L"BUSVAULT_STATUS_NOT_OPEN", static_cast<LONG>(BUSVAULT_STATUS_NOT_OPEN)},
        {L"BUSVAULT_STATUS_WRITE_TIMEOUT", static_cast<LONG>(BUSVAULT_STATUS_WRITE_TIMEOUT)},
        {L"BUSVAULT_PORT_READY", BUSVAULT_PORT_READY},
        {L"BUSVAULT_PORT_READ_TIMEOUT", BUSVAULT_PORT_READ_TIMEOUT},
        {L"BUSVAULT_PORT_WRITE_TIMEOUT", BUSVAULT_PORT_WRITE_TIMEOUT},
        {L"BUSVAULT_PORT_REOPENED", BUSVAULT_PORT_REOPENED},
        {L"BUSVAULT_PORT_NOT_OPEN", BUSVAULT_PORT_NOT_OPEN},
        {L"BUSVAULT_STAT_BYTES_WRITTEN", BUSVAULT_STAT_BYTES_WRITTEN},
        {L"BUSVAULT_STAT_ATTEMPTS", BUSVAULT_STAT_ATTEMPTS},
        {L"BUSVAULT_STAT_TIMES_LOST", BUSVAULT_STAT_TIMES_LOST},
        {L"BUSVAULT_STAT_TIMES_REOPENED", BUSVAULT_STAT_TIMES_REOPENED},
        {L"BUSVAULT_STAT_LOSS_ERROR", BUSVAULT_STAT_LOSS_ERROR}};
    std::vector<std::pair<std::wstring, LONG>> found;
    bool classFound = false;
    for (UINT t = 0; t < library->GetTypeInfoCount(); ++t) {
        ComPtr<ITypeInfo> info;
        ASSERT_EQ(library->GetTypeInfo(t, info.put()), S_OK);
        TYPEATTR* type = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&type), S_OK);
        if (type->typekind == TKIND_COCLASS) {
            classFound = true;
            EXPECT_TRUE(IsEqualCLSID(type->guid, CLSID_BusvaultStore));
            HREFTYPE ref = 0;
            ComPtr<ITypeInfo> first;
            EXPECT_EQ(info->GetRefTypeOfImplType(0, &ref), S_OK);
            EXPECT_EQ(info->GetRefTypeInfo(ref, first.put()), S_OK);
            TYPEATTR* firstType = nullptr;
            if (first && SUCCEEDED(first->GetTypeAttr(&firstType))) {
                EXPECT_TRUE(IsEqualIID(firstType->guid, IID_IBusvaultAutomation));
                first->ReleaseTypeAttr(firstType);
            }
        }
        for (UINT v = 0; type->typekind == TKIND_ENUM && v < type->cVars; ++v) {
            VARDESC* var = nullptr;
            ASSERT_EQ(info->GetVarDesc(v, &var), S_OK);
            BSTR name = nullptr;
            info->GetDocumentation(var->memid, &name, nullptr, nullptr, nullptr);
            Var value;
            ::VariantChangeType(&value.v, var->lpvarValue, 0, VT_I4);
            found.emplace_back(name ? name : L"", V_I4(&value.v));
            ::SysFreeString(name);
            info->ReleaseVarDesc(var);
        }
        info->ReleaseTypeAttr(type);
    }
    EXPECT_TRUE(classFound);
    for (const auto& constant : constants)
        EXPECT_NE(std::find(found.begin(), found.end(), constant), found.end())
            << std::string(constant.first.begin(), constant.first.end());

    library.reset();
    ASSERT_EQ(unregisterServer(), S_OK);
    EXPECT_NE(::LoadRegTypeLib(LIBID_BusvaultLib, 1, 0, 0, library.put()), S_OK);
}

TEST_F(Automation, RequestsInEveryClientFormReachTheLineAndRepliesComeBackInEachForm) {
    PipeEnd peer("busvault-automation-forms");
    ASSERT_TRUE(peer.Valid());
    Var port(L"pipe\\busvault-automation-forms");
    const LONG link = Number(L"CreateLink", {&port.v});  // the line settings left to their defaults
    EXPECT_EQ(link, 255);
    Var handle(link), wait(200), interval(20), one(1);
    EXPECT_EQ(Number(L"SetTimeouts", {&handle.v, &wait.v, &interval.v}), 0);

    // Attempts never set: the request is written and nothing is read.
    Var bytes;
    MakeArray<BYTE>(VT_UI1, {0x16, 0x02, 0xFF}, bytes);
    EXPECT_EQ(Number(L"Exchange", {&handle.v, &bytes.v}), static_cast<LONG>(BUSVAULT_STATUS_OK));
    EXPECT_EQ(peer.Take(), Bytes({0x16, 0x02, 0xFF}));

    // VBScript's Array(22, 2.0, CByte(255)), passed by reference.
    VARIANT elements[3];
    V_VT(&elements[0]) = VT_I2;
    V_I2(&elements[0]) = 22;
    V_VT(&elements[1]) = VT_R8;
    V_R8(&elements[1]) = 2.0;
    V_VT(&elements[2]) = VT_UI1;
    V_UI1(&elements[2]) = 255;
    Var numbers, byReference;
    MakeArray<VARIANT>(VT_VARIANT, {elements[0], elements[1], elements[2]}, numbers);
    V_VT(&byReference.v) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&byReference.v) = &numbers.v;
    EXPECT_EQ(Number(L"Exchange", {&handle.v, &byReference.v}), static_cast<LONG>(BUSVAULT_STATUS_OK));
    EXPECT_EQ(peer.Take(), Bytes({22, 2, 255}));

    Var longs, text(L"0a 0B:10");
    MakeArray<LONG>(VT_I4, {4, 5}, longs);
    EXPECT_EQ(Number(L"Exchange", {&handle.v, &longs.v}), static_cast<LONG>(BUSVAULT_STATUS_OK));
    EXPECT_EQ(peer.Take(), Bytes({4, 5}));
    EXPECT_EQ(Number(L"Exchange", {&handle.v, &text.v}), static_cast<LONG>(BUSVAULT_STATUS_OK));
    EXPECT_EQ(peer.Take(), Bytes({10, 11, 16}));
    // .NET's decimal[] arrives as DECIMAL elements, each as large as a VARIANT.
    DECIMAL seven{}, eight{};
    ::VarDecFromI4(7, &seven);
    ::VarDecFromI4(8, &eight);
    Var decimals;
    MakeArray<DECIMAL>(VT_DECIMAL, {seven, eight}, decimals);
    EXPECT_EQ(Number(L"Exchange", {&handle.v, &decimals.v}), static_cast<LONG>(BUSVAULT_STATUS_OK));
    EXPECT_EQ(peer.Take(), Bytes({7, 8}));

    // A reply waiting on the line comes back byte for byte in all three forms.
    EXPECT_EQ(Number(L"SetAttempts", {&handle.v, &one.v}), 0);
    const Bytes reply = {0x16, 0x16, 0x02, 0x00, 0xAB, 0x03};
    ASSERT_TRUE(peer.Send(reply));
    EXPECT_EQ(Number(L"Exchange", {&handle.v, &text.v}), static_cast<LONG>(BUSVAULT_STATUS_OK));
    Outcome asBytes, asVariants, asText;
    Call(asBytes, L"Reply", {&handle.v});
    EXPECT_EQ(V_VT(&asBytes.value.v), VT_ARRAY | VT_UI1);
    EXPECT_EQ(BytesOf(asBytes.value.v), reply);
    Call(asVariants, L"ReplyAsVariants", {&handle.v});
    EXPECT_EQ(V_VT(&asVariants.value.v), VT_ARRAY | VT_VARIANT);
    EXPECT_EQ(BytesOf(asVariants.value.v), reply);
    Call(asText, L"ReplyHex", {&handle.v});
    ASSERT_EQ(V_VT(&asText.value.v), VT_BSTR);
    EXPECT_STREQ(V_BSTR(&asText.value.v), L"16 16 02 00 AB 03");
    Var written(BUSVAULT_STAT_BYTES_WRITTEN), attempts(BUSVAULT_STAT_ATTEMPTS);
    EXPECT_EQ(Number(L"Statistic", {&handle.v, &written.v}), 3);
    EXPECT_EQ(Number(L"Statistic", {&handle.v, &attempts.v}), 1);
    peer.Take();

    // A silent line: no reply, the attempts rounded up to three reads.
    EXPECT_EQ(Number(L"Exchange", {&handle.v, &bytes.v}), static_cast<LONG>(BUSVAULT_STATUS_NO_REPLY));
    EXPECT_EQ(Number(L"Status", {&handle.v}), static_cast<LONG>(BUSVAULT_STATUS_NO_REPLY));
    EXPECT_EQ(Number(L"PortState", {&handle.v}), static_cast<LONG>(BUSVAULT_PORT_READ_TIMEOUT));
    Outcome stats, empty;
    Call(stats, L"Statistics", {&handle.v});
    const Bytes values = BytesOf(stats.value.v);
    ASSERT_EQ(values.size(), 6u);
    EXPECT_EQ(values[0], 3);  // bytes written
    EXPECT_EQ(values[5], 3);  // attempts
    Call(empty, L"Reply", {&handle.v});
    EXPECT_EQ(V_VT(&empty.value.v), VT_ARRAY | VT_UI1);
    EXPECT_TRUE(BytesOf(empty.value.v).empty());
    EXPECT_EQ(peer.Take(), Bytes({0x16, 0x02, 0xFF}));
    EXPECT_EQ(Number(L"DeleteLink", {&handle.v}), 0);
    EXPECT_TRUE(peer.ClientGone());
}

TEST_F(Automation, MistakesFailWithAnEnglishTextAndLeaveTheStoreWorking) {
    PipeEnd peer("busvault-automation-mistakes");
    Var port(L"pipe\\busvault-automation-mistakes"), baud(9600), eight(8), none(L"N");
    const LONG link = Number(L"CreateLink", {&port.v, &baud.v, &eight.v, &none.v});
    Var handle(link);

    // Every method that takes a handle refuses one that no link has.
    Var stranger(7), zero(0);
    ExpectFailure(L"SetTimeouts", {&stranger.v, &zero.v, &zero.v}, E_HANDLE, L"There is no link with handle 7");
    ExpectFailure(L"SetAttempts", {&stranger.v, &zero.v}, E_HANDLE, L"There is no link with handle 7");
    ExpectFailure(L"Exchange", {&stranger.v, &zero.v}, E_HANDLE, L"There is no link with handle 7");
    for (const wchar_t* name :
         {L"Reply", L"ReplyAsVariants", L"ReplyHex", L"Status", L"Statistics", L"PortState", L"DeleteLink"})
        ExpectFailure(name, {&stranger.v}, E_HANDLE, L"There is no link with handle 7");
    ExpectFailure(L"Statistic", {&stranger.v, &zero.v}, E_HANDLE, L"There is no link with handle 7");

    // Requests that are none of the accepted forms.
    const std::wstring prefix = L"The request must be an array of bytes, an array of whole numbers from 0 to 255, "
                                L"or hexadecimal text such as \"16 16 02\"; ";
    Var truth, emptyText(L""), badText(L"16 1G"), tooBig, word;
    V_VT(&truth.v) = VT_BOOL;
    V_BOOL(&truth.v) = VARIANT_TRUE;
    ExpectFailure(L"Exchange", {&handle.v, &truth.v}, E_INVALIDARG, prefix + L"it is a Boolean.");
    ExpectFailure(L"Exchange", {&handle.v, &emptyText.v}, E_INVALIDARG, prefix + L"it holds no bytes.");
    ExpectFailure(L"Exchange", {&handle.v, &badText.v}, E_INVALIDARG,
                  prefix + L"its text is not hexadecimal: character 5 is not a hexadecimal digit.");
    MakeArray<LONG>(VT_I4, {1, 256}, tooBig);
    ExpectFailure(L"Exchange", {&handle.v, &tooBig.v}, E_INVALIDARG,
                  prefix + L"element 1 is a number outside 0 to 255 or not whole.");
    VARIANT textElement;
    V_VT(&textElement) = VT_BSTR;
    V_BSTR(&textElement) = ::SysAllocString(L"x");
    MakeArray<VARIANT>(VT_VARIANT, {textElement}, word);
    ::VariantClear(&textElement);
    ExpectFailure(L"Exchange", {&handle.v, &word.v}, E_INVALIDARG, prefix + L"element 0 is text.");

    // Set-up values the line cannot take, and a port that does not exist.
    Var missingPort(L"COM97"), odd(L"X"), three(3), nine(9), minus(-1);
    ExpectFailure(L"CreateLink", {&missingPort.v}, E_FAIL, L"The port \"COM97\" could not be opened");
    ExpectFailure(L"CreateLink", {&port.v, &baud.v, &eight.v, &odd.v}, E_INVALIDARG, L"The parity must be");
    ExpectFailure(L"CreateLink", {&port.v, &baud.v, &nine.v}, E_INVALIDARG, L"The data bits must be 5, 6, 7 or 8");
    ExpectFailure(L"CreateLink", {&port.v, &baud.v, &eight.v, &none.v, &three.v}, E_INVALIDARG,
                  L"The stop bits must be 1, 1.5 or 2.");
    ExpectFailure(L"SetAttempts", {&handle.v, &zero.v}, E_INVALIDARG, L"The read attempts must be 1 or more");
    ExpectFailure(L"SetTimeouts", {&handle.v, &minus.v, &zero.v}, E_INVALIDARG, L"Time-outs are milliseconds");
    EXPECT_TRUE(peer.Take().empty());  // nothing reached the line

    // The store answers on: the same link works, and its error texts are
    // offered through ISupportErrorInfo.
    Var request(L"01 02");
    EXPECT_EQ(Number(L"Exchange", {&handle.v, &request.v}), static_cast<LONG>(BUSVAULT_STATUS_OK));
    EXPECT_EQ(peer.Take(), Bytes({1, 2}));
    ComPtr<ISupportErrorInfo> errors;
    ASSERT_EQ(store.as(errors, IID_ISupportErrorInfo), S_OK);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IBusvaultAutomation), S_OK);
    // One object: the vtable face and the automation face share the store.
    ComPtr<IBusvaultStore> vtableFace;
    ComPtr<IUnknown> a, b;
    ASSERT_EQ(store.as(vtableFace, IID_IBusvaultStore), S_OK);
    store.as(a, IID_IUnknown);
    vtableFace.as(b, IID_IUnknown);
    EXPECT_EQ(a.get(), b.get());
    EXPECT_EQ(vtableFace->DeleteLink(static_cast<DWORD>(link)), S_OK);
    ExpectFailure(L"Status", {&handle.v}, E_HANDLE, L"There is no link with handle 255");
}

// The class is an apartment class: a client in the multithreaded apartment
// gets a proxy that the universal marshaler builds from the registered type
// library. Windows carries the error text back with a failure; Wine 10 does
// not carry error information across apartments (seen), so the text is
// checked only when it arrives.
TEST_F(Automation, AMultithreadedClientIsServedThroughTheUniversalMarshaler) {
    auto registerServer = vrel::Export<DllFunction>(module.get(), "DllRegisterServer");
    auto unregisterServer = vrel::Export<DllFunction>(module.get(), "DllUnregisterServer");
    ASSERT_EQ(registerServer(), S_OK);
    HRESULT created = E_UNEXPECTED, opened = E_UNEXPECTED, stranger = E_UNEXPECTED;
    std::wstring text;
    std::thread client([&] {
        ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        {
            ComPtr<IBusvaultAutomation> automation;
            created = ::CoCreateInstance(CLSID_BusvaultStore, nullptr, CLSCTX_INPROC_SERVER, IID_IBusvaultAutomation,
                                         automation.put_void());
            if (automation) {
                BSTR port = ::SysAllocString(L"COM97"), parity = ::SysAllocString(L"N");
                VARIANT stopBits;
                V_VT(&stopBits) = VT_ERROR;
                V_ERROR(&stopBits) = DISP_E_PARAMNOTFOUND;
                LONG handle = 0;
                opened = automation->CreateLink(port, 9600, 8, parity, stopBits, &handle);
                ComPtr<IErrorInfo> info;
                BSTR description = nullptr;
                if (::GetErrorInfo(0, info.put()) == S_OK && SUCCEEDED(info->GetDescription(&description)))
                    text = description ? description : L"";
                ::SysFreeString(description);
                ::SysFreeString(port);
                ::SysFreeString(parity);
                LONG state = 0;
                stranger = automation->PortState(7, &state);
            }
        }
        ::CoUninitialize();
    });
    client.join();
    EXPECT_EQ(created, S_OK);
    EXPECT_EQ(opened, E_FAIL);
    if (!text.empty()) {
        EXPECT_NE(text.find(L"The port \"COM97\" could not be opened"), std::wstring::npos)
            << std::string(text.begin(), text.end());
    }
    EXPECT_EQ(stranger, E_HANDLE);
    ASSERT_EQ(unregisterServer(), S_OK);
}

}  // namespace
