#include "client/listing/columns.h"

#include "client/listing/host_types.h"

namespace tarn::listing {

namespace {

using A = Align;

// The first four columns of every generic-style set.
constexpr ColumnDef kNameColumn = {"Name", A::kLeft, "Dummy File Name"};
constexpr ColumnDef kSizeColumn = {"Size", A::kRight, "999,999KB"};
constexpr ColumnDef kModifiedColumn = {"Modified", A::kRight, "12/31/1999 12:59 AM"};

constexpr ColumnDef kGeneric[] = {
    kNameColumn, kSizeColumn, {"Type", A::kLeft, "Text Documentxxx"}, kModifiedColumn};

constexpr ColumnDef kGenericUnix[] = {
    kNameColumn, kSizeColumn, {"Permissions", A::kLeft, "Text Documentxxx"},
    kModifiedColumn};

constexpr ColumnDef kMvsDatasets[] = {
    kNameColumn,
    kSizeColumn,
    {"Type", A::kLeft, "Sequential File"},
    kModifiedColumn,
    {"Volume", A::kLeft, "WORK01"},
    {"Unit", A::kLeft, "3390"},
    {"Ext", A::kLeft, "123"},
    {"Used", A::kLeft, "12345"},
    {"Recfm", A::kLeft, "VBA"},
    {"Lrecl", A::kLeft, "32760"},
    {"BlkSz", A::kLeft, "32760"},
};

constexpr ColumnDef kMvsMembers[] = {
    kNameColumn,  kSizeColumn,         {"Type", A::kLeft, "Text Documentxxx"},
    kModifiedColumn, {"ID", A::kLeft, "USERID7"}, {"VV.MM", A::kLeft, "VV.MM"},
};

constexpr ColumnDef kMvsLoadModules[] = {
    kNameColumn,
    {"Size", A::kRight, "999,999KB"},
    {"Type", A::kLeft, "Object/Load Modulexx"},
    {"TTR", A::kLeft, "00000F"},
    {"Alias-of", A::kLeft, "ALIASNAM"},
    {"AC", A::kLeft, "01"},
    {"Attributes", A::kLeft, "RN RU RF EX OL"},
    {"Amode", A::kLeft, "ANY"},
    {"Rmode", A::kLeft, "ANY"},
};

constexpr ColumnDef kVseDirectory[] = {
    kNameColumn,
    {"Type", A::kLeft, "<VSAM CATALOG FILE>"},
};

constexpr ColumnDef kVseLibrary[] = {
    kNameColumn,
    {"Type", A::kLeft, "<SUB LIBRARY>"},
    {"Members", A::kLeft, "12345"},
    {"Blocks", A::kLeft, "123456"},
    {"Date", A::kLeft, "2002-12-19"},
    {"Time", A::kLeft, "10:15"},
};

constexpr ColumnDef kVseSubLibrary[] = {
    kNameColumn,
    {"Records", A::kLeft, "1234567"},
    {"Blocks", A::kLeft, "123456"},
    {"Date", A::kLeft, "2002-12-19"},
    {"Time", A::kLeft, "10:15"},
    {"LUDate", A::kLeft, "2002-12-19"},
    {"LUTime", A::kLeft, "10:15"},
    {"Type", A::kLeft, "S"},
};

constexpr ColumnDef kVsePowerClass[] = {
    {"Power Job", A::kLeft, "PAYROLL1 12345"},
    {"Records", A::kLeft, "1234567"},
    {"Pages", A::kLeft, "12345"},
    {"Lines", A::kLeft, "1234567"},
    {"Priority", A::kLeft, "3"},
    {"Disp", A::kLeft, "D"},
    {"User ID", A::kLeft, "USERID"},
};

constexpr ColumnDef kVsamCatalog[] = {
    kNameColumn,
    {"Date", A::kLeft, "2002-12-19"},
    {"Time", A::kLeft, "10:15"},
    {"Records", A::kLeft, "1234567"},
    {"Type", A::kLeft, "KSDS"},
};

constexpr ColumnDef kVtoc[] = {
    kNameColumn,
    {"Date", A::kLeft, "2002-12-19"},
    {"Time", A::kLeft, "10:15"},
    {"LogRecLen", A::kLeft, "32760"},
    {"Type", A::kLeft, "SEQUENTIAL"},
};

constexpr ColumnSet kSets[] = {
    {ColumnSetId::kGeneric, kViewGeneric, kGeneric},
    {ColumnSetId::kGenericUnix, kViewGenericUnix, kGenericUnix},
    {ColumnSetId::kMvsDatasets, kViewMvsDatasets, kMvsDatasets},
    {ColumnSetId::kMvsMembers, kViewMvsMembers, kMvsMembers},
    {ColumnSetId::kMvsLoadModules, kViewMvsLoadModules, kMvsLoadModules},
    {ColumnSetId::kVseDirectory, kViewVseDirectory, kVseDirectory},
    {ColumnSetId::kVseLibrary, kViewVseLibrary, kVseLibrary},
    {ColumnSetId::kVseSubLibrary, kViewVseSubLibrary, kVseSubLibrary},
    {ColumnSetId::kVsePowerClass, kViewVsePowerClass, kVsePowerClass},
    {ColumnSetId::kVsamCatalog, kViewVsamCatalog, kVsamCatalog},
    {ColumnSetId::kVtoc, kViewVtoc, kVtoc},
};

}  // namespace

const ColumnSet& ColumnSetFor(ColumnSetId id) {
  for (const ColumnSet& s : kSets)
    if (s.id == id) return s;
  return kSets[0];
}

ColumnSetId GenericColumnSet(int32_t serverType) {
  return serverType == SERVER_UNIX ? ColumnSetId::kGenericUnix : ColumnSetId::kGeneric;
}

ColumnSetId VseColumnSet(int vseKind) {
  switch (vseKind) {
    case 12: return ColumnSetId::kVseLibrary;
    case 13: return ColumnSetId::kVseSubLibrary;
    case 14: return ColumnSetId::kVsePowerClass;
    case 15: return ColumnSetId::kVsamCatalog;
    case 16: return ColumnSetId::kVtoc;
    default: return ColumnSetId::kVseDirectory;
  }
}

}  // namespace tarn::listing
