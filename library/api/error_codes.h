#pragma once
// Named error codes. The numbers are the library's public contract; the messages live in the
// error table.

#include "library/include/Marqen_InterfaceV2.h"

namespace marqen::err {

inline constexpr ErrorCode kNoError = 0;
inline constexpr ErrorCode kInvalidInputLength = 101;
inline constexpr ErrorCode kMissingArgument = 102;  // deliberately has no message
inline constexpr ErrorCode kInvalidDataKind = 103;
inline constexpr ErrorCode kInvalidSerialNumber = 104;
inline constexpr ErrorCode kInvalidIssuerDN = 105;
inline constexpr ErrorCode kInvalidLocationType = 106;
inline constexpr ErrorCode kInvalidHashAlgorithm = 107;
inline constexpr ErrorCode kInvalidSigningAlgorithm = 108;
inline constexpr ErrorCode kInvalidSignatureMode = 109;
inline constexpr ErrorCode kInvalidDestinationType = 110;
inline constexpr ErrorCode kInvalidValidateFlag = 111;
inline constexpr ErrorCode kInvalidAskPinFlag = 112;
inline constexpr ErrorCode kInvalidSignatureFormat = 113;
inline constexpr ErrorCode kDetachedDataMissing = 114;
inline constexpr ErrorCode kInvalidSigningTime = 115;
inline constexpr ErrorCode kInvalidCertString = 116;
inline constexpr ErrorCode kInvalidCertType = 117;
inline constexpr ErrorCode kSigningTimeMustBeSigned = 118;
inline constexpr ErrorCode kInvalidInputSignature = 119;
inline constexpr ErrorCode kInvalidInputSignatureLength = 120;
inline constexpr ErrorCode kInvalidSerialOrIssuer = 121;
inline constexpr ErrorCode kInvalidPfxFileOrPassword = 122;
inline constexpr ErrorCode kInvalidCertStringLength = 123;
inline constexpr ErrorCode kInvalidRevocationLevel = 124;
inline constexpr ErrorCode kInvalidRevocationMode = 125;
inline constexpr ErrorCode kInvalidStoreType = 126;
inline constexpr ErrorCode kNullOutput = 127;
inline constexpr ErrorCode kInvalidAttributeCount = 128;
inline constexpr ErrorCode kInvalidTrustedCACount = 129;
inline constexpr ErrorCode kInvalidTrustedCAName = 130;
inline constexpr ErrorCode kInvalidTrustedCANameLength = 131;
inline constexpr ErrorCode kInvalidAttributeValueLength = 132;
inline constexpr ErrorCode kNullAttributeValue = 133;
inline constexpr ErrorCode kInvalidAttributeAuthType = 134;

inline constexpr ErrorCode kEmptyInputFile = 201;
inline constexpr ErrorCode kFileOpenRead = 202;
inline constexpr ErrorCode kFileIncompleteRead = 203;
inline constexpr ErrorCode kFileIncompleteWrite = 204;
inline constexpr ErrorCode kFolderMissing = 205;
inline constexpr ErrorCode kFolderNotReadWritable = 206;
inline constexpr ErrorCode kInvalidOutputKind = 207;
inline constexpr ErrorCode kInvalidOutputPath = 208;

inline constexpr ErrorCode kNoDigitalSignatureUsage = 301;
inline constexpr ErrorCode kNoKeyUsageExtension = 302;
inline constexpr ErrorCode kCspContext = 303;
inline constexpr ErrorCode kStoreOpen = 304;
inline constexpr ErrorCode kInvalidCertificateFile = 305;
inline constexpr ErrorCode kNotPfxFile = 306;
inline constexpr ErrorCode kPfxImport = 307;
inline constexpr ErrorCode kCertContext = 308;
inline constexpr ErrorCode kNoKeyEnciphermentUsage = 309;

inline constexpr ErrorCode kMemoryAllocation = 401;
inline constexpr ErrorCode kInvalidInputBuffer = 402;

inline constexpr ErrorCode kInvalidSignedData = 1001;
inline constexpr ErrorCode kMessageHandle = 1002;
inline constexpr ErrorCode kMessageUpdate = 1003;
inline constexpr ErrorCode kMessageContentType = 1004;
inline constexpr ErrorCode kNotSignedData = 1005;
inline constexpr ErrorCode kDerToBase64 = 1101;
inline constexpr ErrorCode kBase64ToDer = 1201;
inline constexpr ErrorCode kContentInfo = 1301;
inline constexpr ErrorCode kSignerCount = 1302;
inline constexpr ErrorCode kAttributeDecode = 1303;

inline constexpr ErrorCode kSigningTimeAfterExpiry = 1411;
inline constexpr ErrorCode kSigningTimeBeforeStart = 1412;
inline constexpr ErrorCode kCertificateExpired = 1421;
inline constexpr ErrorCode kCertificateNotYetValid = 1422;
inline constexpr ErrorCode kChainBuild = 1431;
inline constexpr ErrorCode kChainCertificateExpired = 1432;
inline constexpr ErrorCode kChainCertificateRevoked = 1433;
inline constexpr ErrorCode kNoTrustedCAList = 1441;  // a pass wherever it arises
inline constexpr ErrorCode kTrustedCANotInChain = 1442;
inline constexpr ErrorCode kSignedContentSize = 1451;
inline constexpr ErrorCode kSignedContentInfo = 1452;

inline constexpr ErrorCode kNoCrlDistributionPoint = 1501;
inline constexpr ErrorCode kCrlFetch = 1502;
inline constexpr ErrorCode kCrlContext = 1503;
inline constexpr ErrorCode kCrlExpired = 1504;
inline constexpr ErrorCode kCrlNotYetValid = 1505;
inline constexpr ErrorCode kCrlLoad = 1506;
inline constexpr ErrorCode kChainCreate = 1507;
inline constexpr ErrorCode kCrlConnect = 1508;
inline constexpr ErrorCode kTrustNotTimeValid = 1509;
inline constexpr ErrorCode kTrustNotTimeNested = 1510;
inline constexpr ErrorCode kTrustRevoked = 1511;
inline constexpr ErrorCode kTrustBadSignature = 1512;
inline constexpr ErrorCode kTrustWrongUsage = 1513;
inline constexpr ErrorCode kTrustUntrustedRoot = 1514;
inline constexpr ErrorCode kTrustRevocationUnknown = 1515;
inline constexpr ErrorCode kTrustCyclic = 1516;
inline constexpr ErrorCode kTrustPartialChain = 1517;
inline constexpr ErrorCode kTrustCtlNotTimeValid = 1518;
inline constexpr ErrorCode kTrustCtlBadSignature = 1519;
inline constexpr ErrorCode kTrustCtlWrongUsage = 1520;
inline constexpr ErrorCode kTrustRevocationOffline = 1521;
inline constexpr ErrorCode kRevocationNotChecked = 1522;  // a pass wherever it arises
inline constexpr ErrorCode kCrlDistributionPointExtract = 1523;

inline constexpr ErrorCode kInvalidSignerIndex = 1601;
inline constexpr ErrorCode kSignerInfo = 1602;
inline constexpr ErrorCode kSigningTimeMissing = 1603;
inline constexpr ErrorCode kSigningTimeDecode = 1604;
inline constexpr ErrorCode kVerificationFailed = 1701;

inline constexpr ErrorCode kSigningTimeEncode = 1801;
inline constexpr ErrorCode kInvalidAttribute = 1802;
inline constexpr ErrorCode kInvalidAttributeDataType = 1803;
inline constexpr ErrorCode kCosignFailed = 1804;
inline constexpr ErrorCode kCosignerCertificate = 1805;
inline constexpr ErrorCode kPrivateKey = 1806;
inline constexpr ErrorCode kSignedMessageSize = 1807;
inline constexpr ErrorCode kMessageSigning = 1808;  // deliberately has no message

inline constexpr ErrorCode kHashCreate = 1900;
inline constexpr ErrorCode kHashData = 1901;
inline constexpr ErrorCode kRawSign = 1902;
inline constexpr ErrorCode kPublicKeyDecode = 2000;
inline constexpr ErrorCode kPublicKeyImport = 2001;
inline constexpr ErrorCode kRawVerify = 2002;
inline constexpr ErrorCode kCountersign = 2100;
inline constexpr ErrorCode kNotCounterSigned = 2101;
inline constexpr ErrorCode kCounterSignatureDecode = 2102;
inline constexpr ErrorCode kCounterSignatureVerify = 2103;
inline constexpr ErrorCode kCounterSignerMismatch = 2104;

inline constexpr ErrorCode kUnknownException = 2200;
inline constexpr ErrorCode kViewerLibrary = 2201;

}  // namespace marqen::err
