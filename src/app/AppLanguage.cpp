#include "app/AppLanguage.h"

#include <QCoreApplication>
#include <QDebug>
#include <QTranslator>

// The one installed translator, so that the next call can remove it.
static QTranslator *s_translator = nullptr;

void installAppLanguage(int lang)
{
    if (s_translator) {
        QCoreApplication::removeTranslator(s_translator);
        delete s_translator;
        s_translator = nullptr;
    }
    if (lang != 1) {
        qDebug() << "installAppLanguage: lang =" << lang << "(no translator)";
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
