#include "app/ClientFolder.h"
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>

namespace {

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

QSettings UserSettings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, "vandrix-discover", "vandrix-discover");
}

const char kLastFolderKey[] = "LastFolder";

} // namespace

QString EnterClientFolder(const QString& folder)
{
    const QFileInfo info(folder);
    if (!info.exists())
        return Q("Папка «%1» не найдена.").arg(folder);
    if (!info.isDir())
        return Q("«%1» — не папка.").arg(folder);
    if (!QDir::setCurrent(info.absoluteFilePath()))
        return Q("Нет доступа к папке «%1».").arg(folder);
    return {};
}

QString ChooseClientFolder()
{
    QString start = LastClientFolder();
    if (start.isEmpty() || !QFileInfo(start).isDir())
        start = QDir::homePath();
    return QFileDialog::getExistingDirectory(nullptr, Q("Папка клиента Vandrix"), start,
                                             QFileDialog::ShowDirsOnly);
}

void RememberClientFolder(const QString& folder)
{
    QSettings settings = UserSettings();
    settings.setValue(kLastFolderKey, QFileInfo(folder).absoluteFilePath());
}

QString LastClientFolder()
{
    return UserSettings().value(kLastFolderKey).toString();
}
