#pragma once

class QLocale;
class QTranslator;

// Installs the utility's texts for `locale` on the application: the Russian
// originals for a Russian locale, the English source texts otherwise. Returns
// the translator installed (owned by the application), or null when the
// source texts are used.
QTranslator* InstallTranslation(const QLocale& locale);
