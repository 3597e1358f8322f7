// core/settings.h: every key of zerva.ini with its type and default, written once. Callers read
// and write settings through these rows (Config's overloads), never through a spelled-out key.
#pragma once

enum class SettingType { Text, Bool, Int };

struct SettingKey {
    const char* name;
    SettingType type;
    const char* def;   // the default as stored text: booleans "1" or "0", integers in decimal
};

namespace setting {

inline constexpr SettingKey kLanguage{"LANGUAGE", SettingType::Text, "auto"};
inline constexpr SettingKey kTheme{"THEME", SettingType::Text, "dark"};
inline constexpr SettingKey kStartOnStart{"START_ON_START", SettingType::Bool, "1"};
inline constexpr SettingKey kStartSystrayMode{"START_SYSTRAY_MODE", SettingType::Bool, "0"};
inline constexpr SettingKey kMinimizeToTray{"MINIMIZE_TO_TRAY", SettingType::Bool, "1"};
inline constexpr SettingKey kAskCloseServerWhenExit{"ASK_CLOSE_SERVER_WHEN_EXIT", SettingType::Bool, "1"};
inline constexpr SettingKey kAutoRestartConfigChanged{"AUTO_RESTAT_CONFIG_CHANGED", SettingType::Bool, "1"};
inline constexpr SettingKey kDetectPortUsed{"DETECT_PORT_USED", SettingType::Bool, "1"};
inline constexpr SettingKey kDetectOthersPackage{"DETECT_OTHERS_PACKAGE", SettingType::Bool, "1"};
inline constexpr SettingKey kDetectIpAndUpdate{"DETECT_IP_AND_UPDATE", SettingType::Bool, "1"};
inline constexpr SettingKey kCheckUpdates{"CHECK_UPDATES", SettingType::Bool, "1"};
inline constexpr SettingKey kConsoleOpen{"CONSOLE_OPEN", SettingType::Bool, "1"};
inline constexpr SettingKey kTextEditor{"TEXT_EDITOR", SettingType::Text, ""};
inline constexpr SettingKey kMysqlPort{"MYSQL_PORT", SettingType::Int, "3306"};
inline constexpr SettingKey kMysqlRootPassword{"MYSQL_ROOT_PASSWORD", SettingType::Text, "tulp"};
inline constexpr SettingKey kApacheMode{"APACHE_MODE", SettingType::Int, "0"};
inline constexpr SettingKey kApacheCurrentVersion{"APACHE_CURRENT_VERSION", SettingType::Text, ""};
inline constexpr SettingKey kPhpCurrentVersion{"PHP_CURRENT_VERSION", SettingType::Text, ""};
inline constexpr SettingKey kMysqlCurrentVersion{"MYSQL_CURRENT_VERSION", SettingType::Text, ""};
inline constexpr SettingKey kUpdateUrl{"UPDATE_URL", SettingType::Text, ""};

// The whole table, in the order above.
inline constexpr const SettingKey* kAll[] = {
    &kLanguage, &kTheme, &kStartOnStart, &kStartSystrayMode, &kMinimizeToTray,
    &kAskCloseServerWhenExit, &kAutoRestartConfigChanged, &kDetectPortUsed, &kDetectOthersPackage,
    &kDetectIpAndUpdate, &kCheckUpdates, &kConsoleOpen, &kTextEditor, &kMysqlPort,
    &kMysqlRootPassword, &kApacheMode, &kApacheCurrentVersion, &kPhpCurrentVersion,
    &kMysqlCurrentVersion, &kUpdateUrl,
};

}  // namespace setting
