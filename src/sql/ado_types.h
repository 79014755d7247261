// The ADO data type codes (DataTypeEnum) as a record set's field reports them. The SQL text
// of a value depends on its column's code, so the codes are named here once.
#pragma once

#include <cstdint>

namespace tabulo::sql {

inline constexpr int32_t adEmpty = 0;
inline constexpr int32_t adSmallInt = 2;
inline constexpr int32_t adInteger = 3;
inline constexpr int32_t adSingle = 4;
inline constexpr int32_t adDouble = 5;
inline constexpr int32_t adCurrency = 6;
inline constexpr int32_t adDate = 7;
inline constexpr int32_t adBSTR = 8;
inline constexpr int32_t adIDispatch = 9;
inline constexpr int32_t adError = 10;
inline constexpr int32_t adBoolean = 11;
inline constexpr int32_t adVariant = 12;
inline constexpr int32_t adIUnknown = 13;
inline constexpr int32_t adDecimal = 14;
inline constexpr int32_t adTinyInt = 16;
inline constexpr int32_t adUnsignedTinyInt = 17;
inline constexpr int32_t adUnsignedSmallInt = 18;
inline constexpr int32_t adUnsignedInt = 19;
inline constexpr int32_t adBigInt = 20;
inline constexpr int32_t adUnsignedBigInt = 21;
inline constexpr int32_t adFileTime = 64;
inline constexpr int32_t adGUID = 72;
inline constexpr int32_t adBinary = 128;
inline constexpr int32_t adChar = 129;
inline constexpr int32_t adWChar = 130;
inline constexpr int32_t adNumeric = 131;
inline constexpr int32_t adUserDefined = 132;
inline constexpr int32_t adDBDate = 133;
inline constexpr int32_t adDBTime = 134;
inline constexpr int32_t adDBTimeStamp = 135;
inline constexpr int32_t adChapter = 136;
inline constexpr int32_t adPropVariant = 138;
inline constexpr int32_t adVarNumeric = 139;
inline constexpr int32_t adVarChar = 200;
inline constexpr int32_t adLongVarChar = 201;
inline constexpr int32_t adVarWChar = 202;
inline constexpr int32_t adLongVarWChar = 203;
inline constexpr int32_t adVarBinary = 204;
inline constexpr int32_t adLongVarBinary = 205;

}  // namespace tabulo::sql
