#include "app/AppLanguage.h"

#include <QCoreApplication>
#include <QDebug>
#include <QLibraryInfo>
#include <QTranslator>

// The installed translators, so that the next call can remove them: our English texts, or Qt's
// own Chinese texts (the buttons of standard dialogs and message boxes) under the Chinese texts.
static QTranslator *s_translator = nullptr;
static QTranslator *s_qtTranslator = nullptr;

static void removeTranslator(QTranslator *&translator)
{
    if (!translator)
        return;
    QCoreApplication::removeTranslator(translator);
    delete translator;
    translator = nullptr;
}

// Qt's texts are English by default; without them a Chinese window would show "Cancel" and
// "Save" in its message boxes and file dialogs. Missing Qt translations leave them English.
static void installQtChinese()
{
    auto *translator = new QTranslator;
    const QString folder = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
    if (!translator->load(QStringLiteral("qtbase_zh_CN"), folder)) {
        qDebug().noquote() << "installAppLanguage: no Qt translation qtbase_zh_CN in" << folder;
        delete translator;
        return;
    }
    QCoreApplication::installTranslator(translator);
    s_qtTranslator = translator;
}

void installAppLanguage(int lang)
{
    removeTranslator(s_translator);
    removeTranslator(s_qtTranslator);
    if (lang != 1) {
        qDebug() << "installAppLanguage: lang =" << lang << "(no translator)";
        installQtChinese();
        return;
    }
    auto *translator = new QTranslator;
    if (!translator->load(QStringLiteral(":/translations/quorix_en.qm"))) {
        qDebug() << "installAppLanguage: load qm FAILED, lang =" << lang;
        delete translator;
        return;
    }
    QCoreApplication::installTranslator(translator);
    s_translator = translator;
    qDebug() << "installAppLanguage: translator installed, lang =" << lang;
}
