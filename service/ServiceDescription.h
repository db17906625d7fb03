// The service description: WSDL 1.1 with its schemas inline, written at build
// time from the contract (ServiceDescription.cmake) and installed as
// share/talixdbapi/QuillonBinding.wsdl.
#pragma once

namespace talixdb {

// The installed text. Its one service address, in
// <SOAP:address location="...">, is the contract's service location.
extern const char kServiceDescription[];

}  // namespace talixdb
