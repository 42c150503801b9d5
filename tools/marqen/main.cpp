// marqen: signatures and certificates from the command line, through the library's exports.

#include <array>
#include <iostream>
#include <string>
#include <vector>

#include "tools/marqen/commands.h"

namespace marqen::tool {
namespace {

constexpr std::array kCommands = {
    Command{"base64", "base64 encode FILE", "print FILE as Base64 text", runBase64},
    Command{"base64", "base64 decode FILE OUT", "write the bytes of the Base64 text in FILE to OUT",
            runBase64},
    Command{"certstore", "certstore import FILE.pfx [--password-file FILE]",
            "put the certificate with its key into MY, its CA certificates into CA and ROOT",
            runCertstore},
    Command{"certstore", "certstore import FILE.cer --store NAME",
            "add one certificate (DER or PEM) to MY, ADDRESSBOOK, CA or ROOT", runCertstore},
    Command{"certstore", "certstore import --token URI",
            "add each certificate whose private key is on the token to MY, its key named by a "
            ".p11 file",
            runCertstore},
    Command{"certstore", "certstore list [--store NAME]",
            "print subject, issuer, serial and expiry of each certificate", runCertstore},
    Command{"certstore", "certstore list --signing|--encryption [--store my|addressbook]",
            "only the certificates fit for that use now (key usage, validity, trusted CAs)",
            runCertstore},
    Command{"certstore", "certstore remove --store NAME --serial S --issuer DN",
            "remove a certificate (and its key); DN exactly as list prints it", runCertstore},
    Command{"token", "token list [URI]",
            "list the PKCS#11 tokens (all, or those the URI matches) and their certificates",
            runToken},
    Command{"sign",
            "sign --in FILE (--issuer DN --serial HEX | --pfx FILE [--password-file FILE])\n"
            "       [--detached] [--hash sha256|sha384|sha512|sha1|md5] [--der] [--out FILE]\n"
            "       [--document-name TEXT] [--comments TEXT] [--signing-time TIME]\n"
            "       [--validate [--revocation-mode online|offline]"
            " [--revocation-level none|end|chain]]",
            "sign FILE with a certificate from MY or a PFX file; without --out, print the "
            "message",
            runSign},
    Command{"verify",
            "verify --in SIGNED [--content FILE] [--signer N] [--no-chain]\n"
            "       [--revocation-mode online|offline] [--revocation-level none|end|chain]",
            "name each signer and check its signature, certificate and chain; a detached "
            "message needs its --content",
            runVerify},
    Command{"inspect", "inspect --in SIGNED [--json]",
            "who signed the message: certificates, names, serials, expiry and attributes",
            runInspect},
    Command{"check",
            "check (--issuer DN --serial HEX [--store my|addressbook] | --pfx FILE"
            " [--password-file FILE])\n"
            "       [--encryption] [--at TIME]",
            "whether a certificate is fit for signing (or encryption) at a time, and its chain "
            "now",
            runCheck},
    Command{"view",
            "view (--issuer DN --serial HEX [--store my|addressbook] | --pfx FILE"
            " [--password-file FILE] | --cert FILE)\n"
            "       [--encryption]",
            "show a certificate in the system's certificate viewer", runView},
    Command{"content", "content --in SIGNED [--out FILE]",
            "write the content of an attached signed message to FILE or standard output",
            runContent},
    Command{"cosign",
            "cosign --in SIGNED [--content FILE] (--issuer DN --serial HEX | --pfx FILE"
            " [--password-file FILE])\n"
            "       [--hash sha256|sha384|sha512|sha1|md5] [--der] [--out FILE]\n"
            "       [--document-name TEXT] [--comments TEXT] [--signing-time TIME]"
            " [--validate ...]",
            "add a signer to a signed message (a detached one needs its --content); the message "
            "keeps its form",
            runCosign},
    Command{"countersign",
            "countersign --in SIGNED --signer N [--content FILE] (--issuer DN --serial HEX |"
            " --pfx FILE [--password-file FILE])\n"
            "       [--hash sha256|sha384|sha512|sha1|md5] [--der] [--out FILE] [--validate ...]",
            "counter-sign the signature of signer N (0 for the first)", runCountersign},
    Command{"rawsign",
            "rawsign --in FILE (--issuer DN --serial HEX | --pfx FILE [--password-file FILE])\n"
            "       [--hash sha256|sha384|sha512|sha1|md5] [--der] [--out FILE] [--validate ...]",
            "a bare PKCS#1 v1.5 signature of FILE's hash, least significant byte first",
            runRawsign},
    Command{"verify-raw",
            "verify-raw --in FILE --signature SIG (--cert FILE | --pfx FILE [--password-file FILE]"
            " |\n"
            "       --issuer DN --serial HEX [--store my|addressbook])"
            " [--hash sha256|...] [--validate ...]",
            "check a bare signature (bytes or Base64) over FILE with the certificate's key",
            runVerifyRaw},
    Command{"verify-countersignature",
            "verify-countersignature --in SIGNED [--signer N] [--cert FILE | --store"
            " my|addressbook] [--validate ...]",
            "check the counter-signature of signer N; without --cert the counter-signer is "
            "looked up in the store",
            runVerifyCountersignature},
    Command{"pick", "pick",
            "choose a signing certificate of MY in the picker dialog; prints its Issued To, "
            "Issuer Details, Serial No. and Expiration Date, a line each (exit 1 on Cancel)",
            runPick},
    Command{"control", "control register | control unregister",
            "register the control (libMarqenI.so) for the current user, or remove it", runControl},
    Command{"control", "control run FILE|-",
            "script the control: one call a line, name(JSON, ...); each result printed as JSON",
            runControl},
};

void printHelp(std::ostream& out) {
  out << "usage: marqen COMMAND [ARGUMENTS]\n\ncommands:\n";
  for (const auto& command : kCommands)
    out << "  " << command.usage << "\n      " << command.summary << '\n';
  out << "  --help\n      show this list; marqen COMMAND --help shows one command's options\n"
      << "  --version\n      show the version of marqen and of the library's interface\n"
      << "\nOptions take their value as --name VALUE or --name=VALUE. For --in, --content and "
         "--out, - is standard input or output (and for --signature).\n"
      << "--validate [--revocation-mode online|offline] [--revocation-level none|end|chain] "
         "also checks the certificate's chain and, at the level given, revocation.\n"
      << "The new signing commands hash with SHA-256 unless --hash says otherwise.\n"
      << "On failure marqen prints the library's message as \"error N: message\" and exits "
         "with 1 (2 for a usage error, 3 when an imported certificate is already there).\n"
      << "Stores live under $MARQEN_CERTSTORE (default ~/.local/share/marqen/certstore).\n";
}

void printVersion(std::ostream& out) {
  out << "marqen " << MARQEN_VERSION << " (library interface " << MARQEN_API_VERSION_MAJOR << '.'
      << MARQEN_API_VERSION_MINOR << ")\n";
}

int runCommand(std::string_view name, Arguments args) {
  std::vector<Command> usages;
  for (const auto& command : kCommands)
    if (command.name == name) usages.push_back(command);
  try {
    return usages.front().run(args);
  } catch (const HelpRequested& help) {
    printCommandHelp(std::cout, usages, help.options);
    return std::cout.flush() ? kExitOk : kExitFailed;
  }
}

int run(const std::vector<std::string>& argv) {
  if (argv.empty()) {
    printHelp(std::cerr);
    return kExitUsage;
  }
  if (argv[0] == "--help" || argv[0] == "-h" || argv[0] == "help") {
    printHelp(std::cout);
    return kExitOk;
  }
  if (argv[0] == "--version") {
    printVersion(std::cout);
    return kExitOk;
  }
  for (const auto& command : kCommands) {
    if (command.name == argv[0]) return runCommand(command.name, Arguments(argv).subspan(1));
  }
  std::cerr << "marqen: unknown command '" << argv[0] << "'\n";
  printHelp(std::cerr);
  return kExitUsage;
}

}  // namespace
}  // namespace marqen::tool

int main(int argc, char** argv) {
  try {
    return marqen::tool::run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    std::cerr << "marqen: " << e.what() << '\n';
    return marqen::tool::kExitFailed;
  }
}
