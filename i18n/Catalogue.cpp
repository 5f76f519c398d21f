#include "i18n/Catalogue.h"

#include "i18n/LanguageFile.h"

const std::vector<CatalogueText>& Catalogue() {
  static const std::vector<CatalogueText> table = {
#define VANTREL_LIST_TEXT(name, section, key, text) Txt::name,
      VANTREL_CATALOGUE(VANTREL_LIST_TEXT)
#undef VANTREL_LIST_TEXT
  };
  return table;
}

QString Tr(const TLanguageFile& language, const CatalogueText& text) {
  return language.ReadLanguageString(text.section.toString(), text.key.toString(),
                                     text.defaultText.toString());
}
