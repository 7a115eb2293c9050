#include "PStringList.h"

#include "PCaselessString.h"

PStringList::PStringList(PINDEX count, const char *const *words, bool caseless) {
  for (PINDEX i = 0; i < count; ++i) {
    if (caseless)
      Append(new PCaselessString(words[i]));
    else
      AppendString(words[i]);
  }
}

void PStringList::Append(PString *entry) { entries.emplace_back(entry); }

void PStringList::AppendString(const PString &entry) { entries.emplace_back(new PString(entry)); }

PINDEX PStringList::GetValuesIndex(const PString &value) const {
  for (PINDEX i = 0; i < entries.size(); ++i) {
    if (entries[i]->Compare(value) == 0)
      return i;
  }
  return P_MAX_INDEX;
}
