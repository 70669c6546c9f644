// Reading and writing LOB values through locators, in one piece or in
// pieces (polling or callback). CLOB positions and amounts count UTF-16
// units, as the server counts CLOB characters; with a varying-width client
// character set (UTF-8) the amounts the client gets back are bytes.
#pragma once

#include "ocilite/ol_handles.h"

namespace ocilite {

sword lob_read(lob_locator& loc, ub4* amtp, ub4 offset, void* bufp, ub4 bufl, void* ctxp,
               OCICallbackLobRead cbfp, ub2 csid);
sword lob_write(lob_locator& loc, ub4* amtp, ub4 offset, void* bufp, ub4 buflen, ub1 piece,
                void* ctxp, OCICallbackLobWrite cbfp, ub2 csid);

}  // namespace ocilite
