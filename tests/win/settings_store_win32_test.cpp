// The settings store on Windows: REG_SZ values under
// HKEY_CURRENT_USER\software\Norvane\FW. Each test redirects HKEY_CURRENT_USER
// to a scratch key of its own, so the user's real settings are never touched.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/settings_store.h"
#include "app/stored_serial_numbers.h"
#include "tests/support/number_source_contract.h"

namespace comflash {
namespace {

constexpr const char* kScratchRoot = "Software\\comflash-test";
constexpr const char* kKeyFromRoot = "software\\Norvane\\FW";

class RegistryStoreTest : public ::testing::Test {
protected:
    RegistryStoreTest() {
        scratchName_ = std::string(kScratchRoot) + "\\" + std::to_string(::GetCurrentProcessId());
        ::RegDeleteTreeA(HKEY_CURRENT_USER, scratchName_.c_str());
        EXPECT_EQ(
            ::RegCreateKeyExA(HKEY_CURRENT_USER, scratchName_.c_str(), 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &scratch_, nullptr),
            ERROR_SUCCESS);
        EXPECT_EQ(::RegOverridePredefKey(HKEY_CURRENT_USER, scratch_), ERROR_SUCCESS);
    }
    ~RegistryStoreTest() override {
        ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        ::RegCloseKey(scratch_);
        ::RegDeleteTreeA(HKEY_CURRENT_USER, scratchName_.c_str());
        ::RegDeleteKeyA(HKEY_CURRENT_USER, kScratchRoot);  // only once it is empty
    }

    bool KeyExists() const {
        HKEY key = nullptr;
        if (::RegOpenKeyExA(scratch_, kKeyFromRoot, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        ::RegCloseKey(key);
        return true;
    }
    // Stores raw bytes of any type, as another program (or regedit) might.
    void StoreRaw(const char* name, DWORD type, const std::string& bytes) const {
        ASSERT_EQ(::RegSetKeyValueA(scratch_, kKeyFromRoot, name, type, bytes.data(),
                                    static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
    }
    struct RawValue {
        DWORD type = REG_NONE;
        std::string bytes;
    };
    RawValue ReadRaw(const char* name) const {
        RawValue value;
        DWORD size = 0;
        if (::RegGetValueA(scratch_, kKeyFromRoot, name, RRF_RT_ANY | RRF_NOEXPAND, &value.type,
                           nullptr, &size) != ERROR_SUCCESS) {
            return {};
        }
        value.bytes.resize(size);
        ::RegGetValueA(scratch_, kKeyFromRoot, name, RRF_RT_ANY | RRF_NOEXPAND, &value.type,
                       value.bytes.data(), &size);
        value.bytes.resize(size);
        return value;
    }

    SettingsStore store;
    HKEY scratch_ = nullptr;

private:
    std::string scratchName_;
};

TEST_F(RegistryStoreTest, FreshUserReadsEmptyTextsAndGetsTheKey) {
    EXPECT_EQ(store.ReadSetting("SN"), "");
    EXPECT_EQ(store.ReadSetting("COM"), "");
    EXPECT_EQ(store.ReadSetting("Auto"), "");
    EXPECT_TRUE(KeyExists()) << "a read creates the key";
}

TEST_F(RegistryStoreTest, WritesStoreStringsWithTheirNulAndKeepTheOtherValues) {
    EXPECT_TRUE(store.WriteSetting("SN", "AB12000345"));
    store.WriteSetting("COM", "2");
    store.WriteSetting("SN", "AB12000346");
    EXPECT_EQ(store.ReadSetting("SN"), "AB12000346");
    EXPECT_EQ(store.ReadSetting("COM"), "2");
    const RawValue sn = ReadRaw("SN");
    EXPECT_EQ(sn.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(sn.bytes, std::string("AB12000346", 11));
}

TEST_F(RegistryStoreTest, TextWithANulIsStoredUpToIt) {
    store.WriteSetting("SN", std::string("cut\0here", 8));
    EXPECT_EQ(ReadRaw("SN").bytes, std::string("cut", 4));
    EXPECT_EQ(store.ReadSetting("SN"), "cut");
}

struct StoredValueCase {
    const char* name;
    DWORD type;
    std::string bytes;
    std::string read;  // what ReadSetting gives, unless it fails
    bool invalid_type;
};

class StoredValues : public RegistryStoreTest,
                     public ::testing::WithParamInterface<StoredValueCase> {};

TEST_P(StoredValues, ReadAsTheToolExpects) {
    StoreRaw("SN", GetParam().type, GetParam().bytes);
    if (!GetParam().invalid_type) {
        EXPECT_EQ(store.ReadSetting("SN"), GetParam().read);
        return;
    }
    try {
        store.ReadSetting("SN");
        FAIL() << "a value that is not a string must not read as one";
    } catch (const ERegistryException& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'SN'");
    }
}

const DWORD kDword = 0x12345678;

INSTANTIATE_TEST_SUITE_P(
    Values, StoredValues,
    ::testing::Values(
        StoredValueCase{"plain_string", REG_SZ, std::string("004711", 7), "004711", false},
        StoredValueCase{"empty_string", REG_SZ, std::string("", 1), "", false},
        StoredValueCase{"zero_bytes", REG_SZ, "", "", false},
        StoredValueCase{"without_final_nul", REG_SZ, "004711", "004711", false},
        StoredValueCase{"cut_at_embedded_nul", REG_SZ, std::string("AB\0CD", 6), "AB", false},
        StoredValueCase{"expandable_not_expanded", REG_EXPAND_SZ, std::string("%SystemRoot%1", 14),
                        "%SystemRoot%1", false},
        StoredValueCase{"number_is_refused", REG_DWORD,
                        std::string(reinterpret_cast<const char*>(&kDword), sizeof kDword), "",
                        true},
        StoredValueCase{"binary_is_refused", REG_BINARY, "12", "", true},
        StoredValueCase{"multi_string_is_refused", REG_MULTI_SZ, std::string("1\0\0", 3), "",
                        true}),
    [](const auto& info) { return std::string(info.param.name); });

// A volatile parent refuses the lasting key the store asks for: the key cannot
// be created, as when access is denied.
TEST_F(RegistryStoreTest, KeyThatCannotBeCreatedReadsEmptyAndRefusesWrites) {
    HKEY norvane = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(scratch_, "software\\Norvane", 0, nullptr, REG_OPTION_VOLATILE,
                                KEY_ALL_ACCESS, nullptr, &norvane, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(norvane);

    EXPECT_EQ(store.ReadSetting("COM"), "");
    try {
        store.WriteSetting("SN", "004712");
        FAIL() << "a write that did not happen must not succeed";
    } catch (const ERegistryException& e) {
        EXPECT_STREQ(e.what(), "Failed to set data for 'SN'");
        EXPECT_FALSE(e.Detail().empty());
    }
    EXPECT_FALSE(KeyExists());
}

// Taking a serial number is one read-modify-write under a named mutex:
// writers on several threads (or processes) never take one number twice.
TEST_F(RegistryStoreTest, SerialNumbersTakenAtOnceAreAllDistinct) {
    store.WriteSetting("SN", "WN000100");
    StoredSerialNumbers numbers(store);
    constexpr int kThreads = 4;
    constexpr int kTakesEach = 20;
    std::vector<std::vector<std::string>> taken(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kTakesEach; ++i)
                taken[t].push_back(numbers.Take("COM" + std::to_string(t + 1)).number);
        });
    }
    for (auto& thread : threads)
        thread.join();
    std::set<std::string> distinct;
    for (const auto& each : taken)
        distinct.insert(each.begin(), each.end());
    EXPECT_EQ(distinct.size(), static_cast<std::size_t>(kThreads * kTakesEach));
    EXPECT_EQ(store.ReadSetting("SN"), "WN000180");

    // Nothing taken since the last one: it goes back.
    numbers.Settle("WN000179", SerialFate::Refused);
    EXPECT_EQ(store.ReadSetting("SN"), "WN000179");
}

// The number's life, as every source lives it, in the registry: two
// instances on one key are two processes.
class RegistryContract : public RegistryStoreTest,
                         public testing::NumberSourceUnderTest,
                         public ::testing::WithParamInterface<testing::ContractCase> {
protected:
    SerialNumberSource& First() override { return first_; }
    SerialNumberSource& Second() override { return second_; }
    void StartAt(const std::string& number) override { store.WriteSetting("SN", number); }

private:
    StoredSerialNumbers first_{store};
    StoredSerialNumbers second_{store};
};

TEST_P(RegistryContract, Holds) {
    GetParam().run(*this);
}

INSTANTIATE_TEST_SUITE_P(Steps, RegistryContract,
                         ::testing::ValuesIn(testing::NumberSourceContract()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace comflash
