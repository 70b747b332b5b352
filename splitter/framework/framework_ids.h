// Resource identifiers of the framework's own strings (framework.rc).
#pragma once

#define IDS_FRAMEWORK_NO_DIALOG 0xF100
#define IDS_FRAMEWORK_NO_MEMORY 0xF101
