// main.cpp: the entry point. Each start step appends its line to the start-up trace.
#include <QApplication>
#include <QSettings>

#include "app/AppLanguage.h"
#include "app/MessageHandler.h"
#include "app/StartupDiag.h"
#include "camera/VideoFrameYUV.h"
#include "resources/QuorixResources.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "ui/mainwindow/MainWidget.h"

int main(int argc, char *argv[])
{
    startupDiag("start 1: entering main");

    QApplication app(argc, argv);
    startupDiag("start 2: QApplication created");

    VideoFrameYUV::registerMetaType();
    startupDiag("start 3: metatype registered");

    qInstallMessageHandler(messageHandler);
    startupDiag("start 4: handler installed");

    // The console echo writes UTF-8 bytes: a Linux terminal needs no code page switch.
    QCoreApplication::setOrganizationName(QStringLiteral("Quorix"));
    QCoreApplication::setApplicationName(QStringLiteral("QUORIX"));
    startupDiag("start 5: org/app name set");

    SettingsStore::prepare();
    SettingsStore::migrateLegacySettings(nullptr); // Linux has no older settings store
    startupDiag("start 6: settings migrated");

    QuorixResources::init();
    const int language =
        QSettings().value(SettingsKeys::kLanguage, SettingsKeys::kLanguageDefault).toInt();
    installAppLanguage(language == 1 ? 1 : 0);
    startupDiag("start 7: language loaded");

    MainWidget window;
    startupDiag("start 8: MainWidget created");

    window.show();
    startupDiag("start 9: window shown");

    return app.exec();
}
