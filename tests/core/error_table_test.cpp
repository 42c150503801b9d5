#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>

#include "library/core/error_table.h"

namespace marqen {
namespace {

// Every message as callers receive it, typos and trailing blank included.
const std::map<ErrorCode, std::string> kExpected = {
    {0, "No Error"},
    {101, "Invalid Input Length supplied."},
    {103, "Invalid Type of Data supplied."},
    {104, "Invalid Certificate Serial Number."},
    {105, "Invalid Issuer Distinguished Name"},
    {106, "Invalid Certificate location type Supplied."},
    {107, "Invalid Hashing Algorithm Supplied."},
    {108, "Invalid Signing Algorithm Supplied."},
    {109, "Invalid Signature Mode Supplied."},
    {110, "Invalid Signature Destination Type."},
    {111, "Invalid value for the flag Validate-Cert-Before-Signing."},
    {112, "Invalid value for the flag Ask-Pin-Always."},
    {113, "Invalid value for Signature Format."},
    {114, "Data corresponding to Detached Signature not Supplied."},
    {115, "Invalid Signing Time Supplied."},
    {116, "Invalid or Null Certificate String supplied."},
    {117, "Invalid Certificate Type."},
    {118, "Signing Time can only be an authenticated attribute."},
    {119, "Invalid Signature supplied as an input."},
    {120, "Invalid Length of Input Signature supplied."},
    {121, "Invalid Cert Serial No or Issuer DN."},
    {122, "Invalid PFX File or Password."},
    {123, "Invalid Certificate String Length."},
    {124, "Invalid Revocation Level."},
    {125, "Invalid Revocation Mode."},
    {126, "Invalid Type of Store. Only Personal and Other-People Types are allowed."},
    {127, "Null Output Structure. Memory Not allocated."},
    {128, "Invalid Attribute Count."},
    {129, "Invalid Trusted CA Count."},
    {130, "Invalid Trusted CA Name."},
    {131, "Invalid Length of the Trusted CA Name."},
    {132, "Invalid Length of the Attribute Value."},
    {133, "Null Attribute Value."},
    {134, "Invalid Authentication Type for the Attribute."},
    {201, "Input file is an empty file."},
    {202, "Error opening/reading the input file."},
    {203, "Error reading complete input file from disk."},
    {204, "Error writing the complete file to disk."},
    {205, "Folder does not exist."},
    {206, "Folder does not have read/write permissions."},
    {207, "Invalid Output Destination Type."},
    {208, "Output File Path not supplied or is Invalid."},
    {301, "The Key Usage Extension in the certificate does not have Digital Signature set."},
    {302, "Key Usage Extension not found in the certificate."},
    {303, "Error in getting the CSP context."},
    {304, "Error opening the Certificate Store."},
    {305, "Invalid Input Certificate File."},
    {306, "Input File is not a valid PFX File."},
    {307, "Error in importing the certificate file to PFX Store."},
    {308, "Error in getting the Certificate Context."},
    {309, "The Key Usage Extension in the certificate does not haev Key Encipherment set."},
    {401, "Error in memory allocation."},
    {402, "Invalid or Empty Input Buffer."},
    {1001, "Invalid or Null Input Signed Data."},
    {1002, "Error in getting the Handle to the Signed Message."},
    {1003, "Error in updating the Handle to the Signed Message."},
    {1004, "Error in getting the Content Type of the Signed Message."},
    {1005, "The Input Data is not of type Signed Data."},
    {1101, "Error in DER to Base64 Conversion."},
    {1201, "Error in Base64 to DER Conversion."},
    {1301, "Error in getting the Content Info from the Signed Message."},
    {1302, "Error in getting the Signer Count from the Signed Message."},
    {1303, "Error in decoding the attribute value."},
    {1411, "The Signing Time is after the expiry date of the certificate."},
    {1412, "The Signing Time is before the validity start date of the certificate."},
    {1421, "The Certificate is expired."},
    {1422, "The Certificate is not yet valid."},
    {1431, "Error in building the Certificate Chain."},
    {1432, "One of the certificates in the Certificate chain is expired."},
    {1433, "One of the certificates in the Certificate chain is revoked."},
    {1441, "CA Dependent version."},
    {1442, "The CA Common Name not found in Trusted CA Certificate Chain."},
    {1451, "Error in getting the Signed Content Size."},
    {1452, "Error in getting the Content Info of Signed Data."},
    {1501, "CRL Distribution points not present in the certificate."},
    {1502, "Error in fetching the CRL from the CRL Distribution Point."},
    {1503, "Error in getting the context for the CRL."},
    {1504, "The CRL is already expired."},
    {1505, "The CRL is not yet valid."},
    {1506, "Error in loading the CRL from the CRL Distribution Point."},
    {1507, "Error in creating the Certificate Chain."},
    {1508, "Error in connecting to the CRL Distribution Point."},
    {1509,
     "This certificate or one of the certificates in the certificate chain is not time-valid."},
    {1510, "Certificates in the chain are not properly time-nested."},
    {1511,
     "Trust for this certificate or one of the certificates in the certificate chain has been "
     "revoked."},
    {1512,
     "The certificate or one of the certificates in the certificate chain does not have a valid "
     "signature."},
    {1513, "The certificate or certificate chain is not valid in its proposed usage."},
    {1514, "The certificate or certificate chain is based on an untrusted root."},
    {1515,
     "The revocation status of the certificate or one of the certificates in the certificate chain "
     "is unknown."},
    {1516,
     "One of the certificates in the chain was issued by a certification authority that the "
     "original certificate had certified."},
    {1517, "The certificate chain is not complete."},
    {1518, "A CTL used to create this chain was not time-valid."},
    {1519, "A CTL used to create this chain did not have a valid signature."},
    {1520, "A CTL used to create this chain is not valid for this usage."},
    {1521,
     "The revocation status of the certificate or one of the certificates in the certificate chain "
     "is either off-line or stale."},
    {1522, "Revocation status not checked."},
    {1523, "Error in extracting CRL Distribution Point CRL From the Certificate."},
    {1601, "The specified Signer Index is not valid."},
    {1602, "Error in getting the Signer Info of Signed Data."},
    {1603, "Signing Time not found in the Signed Data."},
    {1604, "Error in decoding the Signing Time in the Signed Data."},
    {1701, "Verification of Signed Data Failed."},
    {1801, "Error in encoding the Signing Time for Signed Data."},
    {1802, "Invalid or null Attribute supplied."},
    {1803, "Invalid Attribute Data type."},
    {1804, "Cosigning the supplied message Failed."},
    {1805, "Error in adding the Cosigner's Certificate to the Signed Data."},
    {1806, "Error in getting the Private Key corresponding to the Certificate."},
    {1807, "Error in getting the size of the Signed Message."},
    {1900, "Error in creating the Hash."},
    {1901, "Error in Hashing the Data."},
    {1902, "Error in the Raw Signature Operation."},
    {2000, "Error in decoding the Public Key from certificate."},
    {2001, "Error in importing the Public Key to the CSP."},
    {2002, "Error in verifying the Raw Signature."},
    {2100, "Error in Counter Signing the Message."},
    {2101, "The supplied Input Message is not a CounterSigned Signature."},
    {2102, "Error in decoding the Counter Signature Attribute from the supplied Input Message."},
    {2103, "Signature Verification of Counter Signature Failed."},
    {2104, "The Input Certificate is not same as the one in the CounterSigned Message."},
    {2200, "An unknown exception ahs occured. "},
    {2201, "Error in loading the library - CryptUI.dll."},
    {2300, "Error in getting cipher size."},
    {2301, "Unable to encrypt the data."},
    {2302, "Invalid recipient count."},
    {2303, "Invalid content type."},
    {2304, "Invalid asymmetric algorithm."},
    {2305, "Invalid symmetric algorithm."},
    {2306, "Invalid encryption format."},
    {2307, "Input data not a enveloped data."},
    {2308, "Recipient certificate not found in the store."},
    {2309, "Error in decrypting cipher."},
};

TEST(ErrorTable, HoldsExactlyTheDocumentedPairs) {
  const auto table = errorMessageTable();
  EXPECT_EQ(table.size(), 132U);
  std::set<ErrorCode> seen;
  for (const auto& entry : table) {
    EXPECT_TRUE(seen.insert(entry.code).second) << "duplicate code " << entry.code;
    const auto expected = kExpected.find(entry.code);
    ASSERT_NE(expected, kExpected.end()) << "unexpected code " << entry.code;
    EXPECT_EQ(entry.message, expected->second) << entry.code;
  }
  EXPECT_EQ(seen.size(), kExpected.size());
}

TEST(ErrorTable, LookupGivesEachMessageAndUnsupportedOtherwise) {
  for (const auto& [code, message] : kExpected)
    EXPECT_EQ(errorMessage(code), message) << code;
  EXPECT_STREQ(errorMessage(0), "No Error");
  for (const ErrorCode code : {102, 1808, -1, 1, 2310, 99999})
    EXPECT_STREQ(errorMessage(code), "Unsupported Error Code") << code;
  EXPECT_STREQ(errorMessage(2200), "An unknown exception ahs occured. ");
}

}  // namespace
}  // namespace marqen
