#include "app/ui/QtSettingsStore.h"

#include <QSettings>
#include <QStandardPaths>
#include <QVariant>

#include <memory>

namespace pellux {

namespace {
std::unique_ptr<QSettings> OpenSettings() {
#ifdef _WIN32
  return std::make_unique<QSettings>(QString::fromLatin1(kSettingsKeyPath),
                                     QSettings::NativeFormat);
#else
  auto settings = std::make_unique<QSettings>(QtSettingsStore::IniFilePath(), QSettings::IniFormat);
  settings->beginGroup(QString::fromLatin1(kSettingsKeyPath));
  return settings;
#endif
}
}  // namespace

QString QtSettingsStore::IniFilePath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/PelluxUpdateV3.ini");
}

bool QtSettingsStore::Read(const std::string& valueName, std::string& text) {
  const std::unique_ptr<QSettings> settings = OpenSettings();
  const QVariant value = settings->value(QString::fromStdString(valueName));
  // An INI line with unquoted commas reads as a list: not a text value.
  if (settings->status() != QSettings::NoError || value.typeId() != QMetaType::QString) {
    return false;
  }
  text = value.toString().toStdString();
  return true;
}

bool QtSettingsStore::Write(const std::string& valueName, const std::string& text) {
  const std::unique_ptr<QSettings> settings = OpenSettings();
  if (!settings->isWritable()) return false;
  settings->setValue(QString::fromStdString(valueName), QString::fromStdString(text));
  settings->sync();
  return true;
}

}  // namespace pellux
