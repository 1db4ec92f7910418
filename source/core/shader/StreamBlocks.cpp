#include "core/shader/StreamBlocks.h"

zString NormalStreamBlock::GetId() const
{
    return zString(smooth != 0 ? "NrmSmt_" : "Nrm_");
}
