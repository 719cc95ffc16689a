#include "settings.h"

#include "messages.h"

namespace app {

namespace {

constexpr size_t kDialogDirBuffer = 255;
constexpr size_t kSortTypeBuffer = 53;
constexpr size_t kNumberBuffer = 4;

void readString(const platform::Registry& registry, const platform::RegistryKey& key, const char* name,
                size_t buffer, std::string& into, std::optional<std::string>& stored) {
    platform::Result<platform::RegistryValue> value = registry.queryValue(key, name, buffer);
    if (value.ok() && value->type == platform::RegistryType::String) {
        into = value->text;
        stored = value->text;
    }
}

void readNumber(const platform::Registry& registry, const platform::RegistryKey& key, const char* name,
                std::int32_t& into, std::optional<std::int32_t>& stored) {
    platform::Result<platform::RegistryValue> value = registry.queryValue(key, name, kNumberBuffer);
    if (value.ok() && value->type == platform::RegistryType::Number) {
        into = static_cast<std::int32_t>(value->number);
        stored = into;
    }
}

StoredSettings storedAs(const Settings& settings) {
    return StoredSettings{settings.splitterWidth, settings.splitterHeight,  settings.sortType,
                          settings.dialogDir,     settings.includePathInfo, settings.useDriveA};
}

template <typename T> bool differs(const std::optional<T>& stored, const T& value) {
    return !stored || *stored != value;
}

bool writeDefaults(platform::Registry& registry, const platform::RegistryKey& key, const Settings& settings) {
    return registry.setString(key, "SortType", settings.sortType).ok() &&
           registry.setString(key, "DialogDir", settings.dialogDir).ok() &&
           registry.setNumber(key, "IncludePathInfo", static_cast<std::uint32_t>(settings.includePathInfo))
               .ok() &&
           registry.setNumber(key, "UseDriveA", static_cast<std::uint32_t>(settings.useDriveA)).ok() &&
           registry.setNumber(key, "SplitterWidth", static_cast<std::uint32_t>(settings.splitterWidth))
               .ok() &&
           registry.setNumber(key, "SplitterHeight", static_cast<std::uint32_t>(settings.splitterHeight))
               .ok();
}

} // namespace

SortFlags sortFlagsFor(const std::string& sortType) {
    SortFlags flags;
    if (sortType == "1") {
        flags.name = true;
    } else if (sortType == "2") {
        flags.extension = true;
    } else if (sortType == "3") {
        flags.fileSize = true;
    } else if (sortType == "4") {
        flags.zippedSize = true;
    } else if (sortType == "5") {
        flags.ratio = true;
    } else if (sortType == "6") {
        flags.date = true;
    }
    return flags;
}

SettingsLoad loadSettings(platform::Registry& registry, Settings& settings, StoredSettings* stored) {
    StoredSettings found;
    platform::Result<platform::RegistryKey> key =
        registry.openKey(platform::RegistryRoot::LocalMachine, kSettingsKey);
    if (!key.ok()) {
        if (key.error().code != platform::kRegistryNotFound) {
            return SettingsLoad::Failed; // a damaged store is not a first run: keep it for the user
        }
        key = registry.createKey(platform::RegistryRoot::LocalMachine, kSettingsKey);
        if (!key.ok()) {
            return SettingsLoad::Failed;
        }
        // A default that cannot be written now is written again at exit.
        if (writeDefaults(registry, *key, settings) && stored != nullptr) {
            *stored = storedAs(settings);
        }
        (void)registry.closeKey(*key);
        return SettingsLoad::FirstRun;
    }
    readString(registry, *key, "DialogDir", kDialogDirBuffer, settings.dialogDir, found.dialogDir);
    readString(registry, *key, "SortType", kSortTypeBuffer, settings.sortType, found.sortType);
    readNumber(registry, *key, "IncludePathInfo", settings.includePathInfo, found.includePathInfo);
    readNumber(registry, *key, "UseDriveA", settings.useDriveA, found.useDriveA);
    readNumber(registry, *key, "SplitterWidth", settings.splitterWidth, found.splitterWidth);
    readNumber(registry, *key, "SplitterHeight", settings.splitterHeight, found.splitterHeight);
    (void)registry.closeKey(*key);
    if (stored != nullptr) {
        *stored = found;
    }
    return SettingsLoad::Loaded;
}

bool saveSettings(platform::Registry& registry, const Settings& settings, archive::ArchiveWindow& window,
                  StoredSettings* stored) {
    auto showError = [&window] {
        window.showMessage(res::kRegistryError, res::kApplicationTitle, archive::MessageIcon::Stop,
                           archive::MessageButtons::Ok);
    };
    // Another running program may have changed other settings meanwhile: only what this one
    // changed is written, and all of it in one write.
    const StoredSettings unknown;
    const StoredSettings& before = stored != nullptr ? *stored : unknown;
    platform::Registry::Batch batch(registry);
    platform::Result<platform::RegistryKey> key =
        registry.openKey(platform::RegistryRoot::LocalMachine, kSettingsKey);
    if (!key.ok()) {
        showError();
        return false;
    }
    auto setNumber = [&](const char* name, const std::optional<std::int32_t>& was, std::int32_t value) {
        return !differs(was, value) || registry.setNumber(*key, name, static_cast<std::uint32_t>(value)).ok();
    };
    auto setString = [&](const char* name, const std::optional<std::string>& was, const std::string& value) {
        return !differs(was, value) || registry.setString(*key, name, value).ok();
    };
    const bool firstFour = setNumber("SplitterWidth", before.splitterWidth, settings.splitterWidth) &&
                           setNumber("SplitterHeight", before.splitterHeight, settings.splitterHeight) &&
                           setString("SortType", before.sortType, settings.sortType) &&
                           setString("DialogDir", before.dialogDir, settings.dialogDir);
    if (!firstFour) {
        showError();
        return false;
    }
    bool allWritten = true;
    if (!setNumber("IncludePathInfo", before.includePathInfo, settings.includePathInfo)) {
        showError();
        allWritten = false;
    }
    if (!setNumber("UseDriveA", before.useDriveA, settings.useDriveA)) {
        showError();
        allWritten = false;
    }
    if (!registry.closeKey(*key).ok()) {
        showError();
        allWritten = false;
    }
    if (!batch.commit().ok()) {
        showError();
        return false;
    }
    if (stored != nullptr && allWritten) {
        *stored = storedAs(settings);
    }
    return allWritten;
}

} // namespace app
