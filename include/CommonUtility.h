// Every class of the library's interface.
#pragma once

#include "commonutility/Export.h"
#include "commonutility/Win32Types.h"
#include "commonutility/CString.h"
#include "commonutility/DateTime.h"
#include "commonutility/FileOperation.h"
#include "commonutility/Logger.h"
#include "commonutility/Registry.h"
#include "commonutility/Utility.h"
#include "commonutility/XMLElement.h"
#include "commonutility/XMLDict.h"
#include "commonutility/ContentInfoXML.h"
#include "commonutility/XMLLocalSet.h"
