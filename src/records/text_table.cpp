#include "reclink/records/text_table.h"

int CTextTblDB::GetTextTblData(char const* textKey1, char const* textKey2) {
  return LookUp(0, {textKey1, textKey2});
}
