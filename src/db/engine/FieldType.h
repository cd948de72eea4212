// The type of a field, as the engines describe their columns and the dataset layer keeps them.
#pragma once

enum class TFieldType { Text, Long, Short, Double, Boolean, DateTime, Counter, Blob };
