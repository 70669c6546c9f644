// The C functions of the client library, with the published signatures.
// Nothing in the program defines them: the engine reaches them through the
// table of oci_functions.h; the bundled ocilite library implements them.
#pragma once

#include "oci/oci_types.h"

extern "C" {

sword OCIEnvNlsCreate(OCIEnv** envhpp, ub4 mode, void* ctxp,
                      void* (*malocfp)(void* ctxp, size_t size),
                      void* (*ralocfp)(void* ctxp, void* memptr, size_t newsize),
                      void (*mfreefp)(void* ctxp, void* memptr), size_t xtramem_sz,
                      void** usrmempp, ub2 charset, ub2 ncharset);
sword OCIHandleAlloc(const void* parenth, void** hndlpp, ub4 type, size_t xtramem_sz,
                     void** usrmempp);
sword OCIHandleFree(void* hndlp, ub4 type);
sword OCIDescriptorAlloc(const void* parenth, void** descpp, ub4 type, size_t xtramem_sz,
                         void** usrmempp);
sword OCIDescriptorFree(void* descp, ub4 type);
sword OCIServerAttach(OCIServer* srvhp, OCIError* errhp, const OraText* dblink, sb4 dblink_len,
                      ub4 mode);
sword OCIServerDetach(OCIServer* srvhp, OCIError* errhp, ub4 mode);
sword OCISessionBegin(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 credt, ub4 mode);
sword OCISessionEnd(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 mode);
sword OCIAttrSet(void* trgthndlp, ub4 trghndltyp, void* attributep, ub4 size, ub4 attrtype,
                 OCIError* errhp);
sword OCIAttrGet(const void* trgthndlp, ub4 trghndltyp, void* attributep, ub4* sizep,
                 ub4 attrtype, OCIError* errhp);
sword OCIParamGet(const void* hndlp, ub4 htype, OCIError* errhp, void** parmdpp, ub4 pos);
sword OCIStmtPrepare(OCIStmt* stmtp, OCIError* errhp, const OraText* stmt, ub4 stmt_len,
                     ub4 language, ub4 mode);
sword OCIStmtExecute(OCISvcCtx* svchp, OCIStmt* stmtp, OCIError* errhp, ub4 iters, ub4 rowoff,
                     const OCISnapshot* snap_in, OCISnapshot* snap_out, ub4 mode);
sword OCIStmtFetch(OCIStmt* stmtp, OCIError* errhp, ub4 nrows, ub2 orientation, ub4 mode);
sword OCIDefineByPos(OCIStmt* stmtp, OCIDefine** defnp, OCIError* errhp, ub4 position,
                     void* valuep, sb4 value_sz, ub2 dty, void* indp, ub2* rlenp, ub2* rcodep,
                     ub4 mode);
sword OCIBindByPos(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp, ub4 position, void* valuep,
                   sb4 value_sz, ub2 dty, void* indp, ub2* alenp, ub2* rcodep, ub4 maxarr_len,
                   ub4* curelep, ub4 mode);
sword OCIErrorGet(void* hndlp, ub4 recordno, OraText* sqlstate, sb4* errcodep, OraText* bufp,
                  ub4 bufsiz, ub4 type);
sword OCILobRead(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4* amtp, ub4 offset,
                 void* bufp, ub4 bufl, void* ctxp, OCICallbackLobRead cbfp, ub2 csid, ub1 csfrm);
sword OCILobWrite(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4* amtp, ub4 offset,
                  void* bufp, ub4 buflen, ub1 piece, void* ctxp, OCICallbackLobWrite cbfp,
                  ub2 csid, ub1 csfrm);
sword OCILobCharSetForm(OCIEnv* envhp, OCIError* errhp, const OCILobLocator* locp, ub1* csfrm);
sword OCIDateTimeGetDate(void* hndl, OCIError* err, const OCIDateTime* date, sb2* yr, ub1* mnth,
                         ub1* dy);
sword OCIDateTimeGetTime(void* hndl, OCIError* err, OCIDateTime* datetime, ub1* hr, ub1* mm,
                         ub1* ss, ub4* fsec);
// Breaks off the call under way on a server (or service context) from
// another thread; that call fails with ORA-01013.
sword OCIBreak(void* hndlp, OCIError* errhp);

}  // extern "C"
