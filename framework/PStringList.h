#ifndef SKELLAN_FRAMEWORK_PSTRINGLIST_H
#define SKELLAN_FRAMEWORK_PSTRINGLIST_H

#include "PString.h"

#include <memory>
#include <vector>

// An ordered list of strings that owns its entries. Entries keep their own
// type, so a caseless entry matches caselessly in a lookup.
class PStringList {
public:
  PStringList() = default;
  PStringList(PINDEX count, const char *const *words, bool caseless);

  void Append(PString *entry);
  void AppendString(const PString &entry);

  // Position of the first entry equal to value, by the entry's own
  // comparison; P_MAX_INDEX when there is none.
  PINDEX GetValuesIndex(const PString &value) const;

private:
  std::vector<std::unique_ptr<PString>> entries;
};

#endif
