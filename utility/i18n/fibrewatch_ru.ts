<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>MainWindow</name>
    <message>
        <source>none</source>
        <translation>нет</translation>
    </message>
    <message>
        <source>optical</source>
        <translation>оптический</translation>
    </message>
    <message>
        <source>electrical</source>
        <translation>электрический</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Наименование</translation>
    </message>
    <message>
        <source>Presence - status</source>
        <translation>Наличие - статус</translation>
    </message>
    <message>
        <source>Nominal output voltage, V</source>
        <translation>Выходное напряжение номинал, B</translation>
    </message>
    <message>
        <source>Output voltage, V</source>
        <translation>Выходное напряжение, B</translation>
    </message>
    <message>
        <source>Output current, mA</source>
        <translation>Выходной ток, mA</translation>
    </message>
    <message>
        <source>Nominal fan speed, rpm</source>
        <translation>Обороты вентилятора номинал, rpm</translation>
    </message>
    <message>
        <source>Fan speed, rpm</source>
        <translation>Обороты вентилятора, rpm</translation>
    </message>
    <message>
        <source>Supply 1 temperature, °C</source>
        <translation>Температура БП1, oC</translation>
    </message>
    <message>
        <source>Supply 2 temperature, °C</source>
        <translation>Температура БП2, oC</translation>
    </message>
    <message>
        <source>Overheat</source>
        <translation>Перегрев</translation>
    </message>
    <message>
        <source>Ventilation system</source>
        <translation>Система вентиляции</translation>
    </message>
    <message>
        <source>Input number</source>
        <translation>Номер входа</translation>
    </message>
    <message>
        <source>SFP type</source>
        <translation>Тип SFP</translation>
    </message>
    <message>
        <source>Sensitivity range, dB</source>
        <translation>Диапазон чувствительности,dB</translation>
    </message>
    <message>
        <source>Input optical power, dB</source>
        <translation>Входная оптическ мощность, dB</translation>
    </message>
    <message>
        <source>Nominal output optical power, dB</source>
        <translation>Вых опт мощн номинал, dB</translation>
    </message>
    <message>
        <source>Output optical power, dB</source>
        <translation>Выход оптич мощность, dB</translation>
    </message>
    <message>
        <source>Wavelength, nm</source>
        <translation>Длина волны, nm</translation>
    </message>
    <message>
        <source>Power Supply States</source>
        <translation>Состояние блоков питания</translation>
    </message>
    <message>
        <source>Rx SFP</source>
        <translation>Приёмные SFP</translation>
    </message>
    <message>
        <source>Tx SFP</source>
        <translation>Передающие SFP</translation>
    </message>
    <message>
        <source>Ignore</source>
        <translation>Игнор.</translation>
    </message>
</context>
</TS>
