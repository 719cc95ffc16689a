#include "settings.h"

#include "messages.h"

namespace app {

namespace {

constexpr size_t kDialogDirBuffer = 255;
constexpr size_t kSortTypeBuffer = 53;
constexpr size_t kNumberBuffer = 4;

void readString(const platform::Registry& registry, const platform::RegistryKey& key, const char* name,
                size_t buffer, std::string& into) {
    platform::Result<platform::RegistryValue> value = registry.queryValue(key, name, buffer);
    if (value.ok() && value->type == platform::RegistryType::String) {
        into = value->text;
    }
}

void readNumber(const platform::Registry& registry, const platform::RegistryKey& key, const char* name,
                std::int32_t& into) {
    platform::Result<platform::RegistryValue> value = registry.queryValue(key, name, kNumberBuffer);
    if (value.ok() && value->type == platform::RegistryType::Number) {
        into = static_cast<std::int32_t>(value->number);
    }
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

SettingsLoad loadSettings(platform::Registry& registry, Settings& settings) {
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
        (void)writeDefaults(registry, *key, settings);
        (void)registry.closeKey(*key);
        return SettingsLoad::FirstRun;
    }
    readString(registry, *key, "DialogDir", kDialogDirBuffer, settings.dialogDir);
    readString(registry, *key, "SortType", kSortTypeBuffer, settings.sortType);
    readNumber(registry, *key, "IncludePathInfo", settings.includePathInfo);
    readNumber(registry, *key, "UseDriveA", settings.useDriveA);
    readNumber(registry, *key, "SplitterWidth", settings.splitterWidth);
    readNumber(registry, *key, "SplitterHeight", settings.splitterHeight);
    (void)registry.closeKey(*key);
    return SettingsLoad::Loaded;
}

bool saveSettings(platform::Registry& registry, const Settings& settings, archive::ArchiveWindow& window) {
    auto showError = [&window] {
        window.showMessage(res::kRegistryError, res::kApplicationTitle, archive::MessageIcon::Stop,
                           archive::MessageButtons::Ok);
    };
    platform::Result<platform::RegistryKey> key =
        registry.openKey(platform::RegistryRoot::LocalMachine, kSettingsKey);
    if (!key.ok()) {
        showError();
        return false;
    }
    const bool firstFour =
        registry.setNumber(*key, "SplitterWidth", static_cast<std::uint32_t>(settings.splitterWidth)).ok() &&
        registry.setNumber(*key, "SplitterHeight", static_cast<std::uint32_t>(settings.splitterHeight))
            .ok() &&
        registry.setString(*key, "SortType", settings.sortType).ok() &&
        registry.setString(*key, "DialogDir", settings.dialogDir).ok();
    if (!firstFour) {
        showError();
        return false;
    }
    bool allWritten = true;
    for (const auto& [name, number] : {std::pair{"IncludePathInfo", settings.includePathInfo},
                                       std::pair{"UseDriveA", settings.useDriveA}}) {
        if (!registry.setNumber(*key, name, static_cast<std::uint32_t>(number)).ok()) {
            showError();
            allWritten = false;
        }
    }
    if (!registry.closeKey(*key).ok()) {
        showError();
        allWritten = false;
    }
    return allWritten;
}

} // namespace app
